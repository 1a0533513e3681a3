// Resource symbols, shared by the resource script and the code.
#pragma once

#define IDI_ICON1 101
