// SessionErrorText and DestroyMailSession are defined by the session module
// (src/mail/SessionTexts.cpp).
#include "mail/SessionFactory.h"
