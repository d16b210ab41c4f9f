#pragma once

#include <string>

// The data floor cannot reach the windowing system, so the few message boxes it raises go through
// a handler the application installs at start; until then they go to stderr.
using MessageHandler = void (*)(const std::string& text, const std::string& caption);

void setMessageHandler(MessageHandler handler);
void showMessage(const std::string& text, const std::string& caption);
