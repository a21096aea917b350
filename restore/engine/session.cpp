#include "session.h"

RestoreSession& theSession() {
    static RestoreSession session;
    return session;
}
