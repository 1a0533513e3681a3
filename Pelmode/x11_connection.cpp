#include "x11_connection.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "deadline.h"

namespace pelmode::x11 {

std::unique_ptr<Connection> Connection::Within(const char* name) {
  struct Attempt {
    std::mutex lock;
    std::condition_variable finished;
    xcb_connection_t* connection = nullptr;
    int screen_number = 0;
    bool done = false;
  };
  const auto attempt = std::make_shared<Attempt>();
  std::thread([attempt, name = std::string(name)] {
    int screen_number = 0;
    xcb_connection_t* connection = xcb_connect(name.c_str(), &screen_number);
    const std::lock_guard<std::mutex> hold(attempt->lock);
    attempt->connection = connection;
    attempt->screen_number = screen_number;
    attempt->done = true;
    attempt->finished.notify_one();
  }).detach();
  std::unique_lock<std::mutex> hold(attempt->lock);
  if (!attempt->finished.wait_for(hold, std::chrono::seconds(kAnswerTimeoutS),
                                  [&] { return attempt->done; })) {
    return nullptr;
  }
  return std::unique_ptr<Connection>(new Connection(attempt->connection, attempt->screen_number));
}

bool LocalServerListens(const char* name) {
  char* host = nullptr;
  int display = 0;
  if (!xcb_parse_display(name, &host, &display, nullptr)) return false;
  const bool local = *host == '\0' || std::strcmp(host, "unix") == 0;
  std::free(host);
  if (!local) return false;
  const std::string path = "/tmp/.X11-unix/X" + std::to_string(display);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const bool listens =
      fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  if (fd >= 0) close(fd);
  return listens;
}

}  // namespace pelmode::x11
