#include "platform/message.h"

#include <cstdio>

namespace qf {

void showSystemMessage(const char* title, const char* text) {
    std::fprintf(stderr, "%s: %s\n", title ? title : "", text ? text : "");
    std::fflush(stderr);
}

} // namespace qf
