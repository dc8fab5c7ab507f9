#include "filter/SessionSeam.h"

namespace pw {

std::wstring SessionErrorText(uint32_t, uint32_t) { return std::wstring(); }
void DestroyMailSession(IMailSession*) {}

}  // namespace pw
