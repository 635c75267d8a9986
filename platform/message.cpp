#include "platform/message.h"

#include <mutex>

namespace qf {

namespace {

std::mutex handlerMutex;
MessageHandler currentHandler = nullptr; // null: the system's own way
void* currentContext = nullptr;

void exchangeHandler(MessageHandler handler, void* context, MessageHandler* oldHandler,
                     void** oldContext) {
    std::lock_guard<std::mutex> lock(handlerMutex);
    if (oldHandler) *oldHandler = currentHandler;
    if (oldContext) *oldContext = currentContext;
    currentHandler = handler;
    currentContext = handler ? context : nullptr;
}

} // namespace

void showMessage(const char* title, const char* text) {
    MessageHandler handler;
    void* context;
    {
        std::lock_guard<std::mutex> lock(handlerMutex);
        handler = currentHandler;
        context = currentContext;
    }
    // Called outside the lock: a handler may run a modal loop or install
    // another handler.
    const char* safeTitle = title ? title : "";
    const char* safeText = text ? text : "";
    if (handler) {
        handler(safeTitle, safeText, context);
    } else {
        showSystemMessage(safeTitle, safeText);
    }
}

bool messageHandlerInstalled() {
    std::lock_guard<std::mutex> lock(handlerMutex);
    return currentHandler != nullptr;
}

void setMessageHandler(MessageHandler handler, void* context) {
    exchangeHandler(handler, context, nullptr, nullptr);
}

ScopedMessageHandler::ScopedMessageHandler(MessageHandler handler, void* context) {
    exchangeHandler(handler, context, &previousHandler_, &previousContext_);
}

ScopedMessageHandler::~ScopedMessageHandler() {
    exchangeHandler(previousHandler_, previousContext_, nullptr, nullptr);
}

} // namespace qf
