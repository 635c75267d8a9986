// Modal messages to the user (the refusal messages), routed through one
// process-wide, replaceable handler so that the dialog can show its own
// boxes and tests can watch what would be shown.
#pragma once

namespace qf {

// Receives the title and text of a message; `context` is what was given
// with the handler.
using MessageHandler = void (*)(const char* title, const char* text, void* context);

// Shows a message through the current handler and returns when it has
// been dismissed. Default handler: MessageBoxA without an owner window on
// Windows, one line "title: text" on standard error on Linux.
void showMessage(const char* title, const char* text);

// Installs `handler` with its `context` for the whole process; null
// restores the default. Thread-safe.
void setMessageHandler(MessageHandler handler, void* context = nullptr);

// True while a handler other than the default is installed (a test's, or
// a dialog's): the plug-in's own message boxes then give way to it.
bool messageHandlerInstalled();

// The system's own way of showing a message: what the default handler
// does.
void showSystemMessage(const char* title, const char* text);

// Installs a handler for its lifetime and restores the previous one
// afterwards (for tests and for a dialog that shows its own boxes).
class ScopedMessageHandler {
  public:
    ScopedMessageHandler(MessageHandler handler, void* context);
    ~ScopedMessageHandler();
    ScopedMessageHandler(const ScopedMessageHandler&) = delete;
    ScopedMessageHandler& operator=(const ScopedMessageHandler&) = delete;

  private:
    MessageHandler previousHandler_;
    void* previousContext_;
};

} // namespace qf
