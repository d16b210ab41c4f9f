#include "data/messages.h"

#include <cstdio>

namespace {

void printMessage(const std::string& text, const std::string& caption)
{
    std::fprintf(stderr, "vesiclar: %s%s%s\n", caption.c_str(), caption.empty() ? "" : ": ", text.c_str());
}

MessageHandler gHandler = printMessage;

}  // namespace

void setMessageHandler(MessageHandler handler) { gHandler = handler ? handler : printMessage; }

void showMessage(const std::string& text, const std::string& caption) { gHandler(text, caption); }
