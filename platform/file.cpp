#include "platform/file.h"

#include <utility>

namespace qf {

File::File(File&& other) noexcept
    : handle_(std::exchange(other.handle_, kNoHandle)),
      writer_(std::exchange(other.writer_, false)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = std::exchange(other.handle_, kNoHandle);
        writer_ = std::exchange(other.writer_, false);
    }
    return *this;
}

} // namespace qf
