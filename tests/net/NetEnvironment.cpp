// Winsock for the whole test program, as the plug-in's DLL start-up provides it.
#include "TestSocket.h"

namespace {
pwtest::WinsockInit winsock;
}
