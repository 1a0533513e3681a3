// Opening a connection to an X server within the deadline, and telling a
// server that refused the connection from one that is not there.
#pragma once


#include <memory>

#include "x11_library.h"

namespace pelmode::x11 {

// xcb_connect waits for the server's greeting without a deadline: for a
// local display a timer ends the wait, for any other xcb_connect runs on a
// thread of its own, left behind when the server never answers.
class Connection {
 public:
  // Empty when the server did not answer within the deadline.
  static std::unique_ptr<Connection> Within(const char* name);
  ~Connection() { xcb_disconnect(connection_); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  xcb_connection_t* get() const { return connection_; }
  int screen_number() const { return screen_number_; }

 private:
  static std::unique_ptr<Connection> Directly(const char* name);
  static std::unique_ptr<Connection> OnThread(const char* name);
  Connection(xcb_connection_t* connection, int screen_number)
      : connection_(connection), screen_number_(screen_number) {}

  xcb_connection_t* connection_;
  int screen_number_;
};

// Whether a local display's socket takes connections: then a refused
// connection was the server's own refusal.
bool LocalServerListens(const char* name);

}  // namespace pelmode::x11
