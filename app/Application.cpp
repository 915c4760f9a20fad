#include "Application.h"

namespace {

bool g_closingForUpdate = false;

} // namespace

bool Application::IsClosingForUpdate() {
    return g_closingForUpdate;
}

void Application::SetClosingForUpdate(bool closing) {
    g_closingForUpdate = closing;
}
