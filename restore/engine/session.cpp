#include "session.h"

#include <memory>

RestoreSession& theSession() {
    static RestoreSession session;
    return session;
}

std::string takeNotifyText(LPARAM lParam) {
    std::unique_ptr<std::string> text(reinterpret_cast<std::string*>(lParam));
    return text ? *text : std::string();
}
