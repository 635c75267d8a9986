// Scoped holders for what the host lends the module: a locked handle, a
// handle we must dispose of, and the scripting descriptor's read and write
// tokens. Each gives its resource back when it goes out of scope unless it
// was handed on or closed explicitly. Move-only; none of them throws.
#pragma once

#include <utility>

#include "plugin/host_api.h"

namespace qf {

// A handle locked through the host's handle suite for as long as the object
// lives. A lock the host refused holds nothing and unlocks nothing.
class LockedHandle {
  public:
    LockedHandle() = default;
    LockedHandle(HandleProcs& procs, Handle h, Boolean moveHigh)
        : procs_(&procs), handle_(h), data_(h ? procs.lockProc(h, moveHigh) : nullptr) {}
    LockedHandle(LockedHandle&& o) noexcept
        : procs_(std::exchange(o.procs_, nullptr)), handle_(std::exchange(o.handle_, nullptr)),
          data_(std::exchange(o.data_, nullptr)) {}
    LockedHandle& operator=(LockedHandle&& o) noexcept {
        if (this != &o) {
            unlock();
            procs_ = std::exchange(o.procs_, nullptr);
            handle_ = std::exchange(o.handle_, nullptr);
            data_ = std::exchange(o.data_, nullptr);
        }
        return *this;
    }
    LockedHandle(const LockedHandle&) = delete;
    LockedHandle& operator=(const LockedHandle&) = delete;
    ~LockedHandle() { unlock(); }

    Ptr data() const { return data_; }
    explicit operator bool() const { return data_ != nullptr; }

    void unlock() {
        // Forgotten before the host is called, so nothing is unlocked twice.
        const Ptr data = std::exchange(data_, nullptr);
        const Handle h = std::exchange(handle_, nullptr);
        if (data && procs_ && procs_->unlockProc) procs_->unlockProc(h);
    }

  private:
    HandleProcs* procs_ = nullptr;
    Handle handle_ = nullptr;
    Ptr data_ = nullptr;
};

// A handle that is ours to dispose of: disposed through the host's suite at
// the end of the scope unless released to a new keeper. Without a dispose
// procedure there is nothing we can do but let it go.
class OwnedHandle {
  public:
    OwnedHandle() = default;
    OwnedHandle(HandleProcs* procs, Handle h) : procs_(procs), handle_(h) {}
    OwnedHandle(OwnedHandle&& o) noexcept
        : procs_(std::exchange(o.procs_, nullptr)), handle_(std::exchange(o.handle_, nullptr)) {}
    OwnedHandle& operator=(OwnedHandle&& o) noexcept {
        if (this != &o) {
            reset();
            procs_ = std::exchange(o.procs_, nullptr);
            handle_ = std::exchange(o.handle_, nullptr);
        }
        return *this;
    }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    ~OwnedHandle() { reset(); }

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    Handle release() { return std::exchange(handle_, nullptr); }

    void reset() {
        Handle h = std::exchange(handle_, nullptr);
        if (h && procs_ && procs_->disposeProc) procs_->disposeProc(h);
    }

  private:
    HandleProcs* procs_ = nullptr;
    Handle handle_ = nullptr;
};

// An open read token on a descriptor; closed at the end of the scope unless
// closed before.
class ReadDescriptorToken {
  public:
    ReadDescriptorToken(ReadDescriptorProcs& procs, PIDescriptorHandle descriptor,
                        DescriptorKeyID* keys)
        : procs_(&procs), token_(procs.openReadDescriptorProc(descriptor, keys)) {}
    ReadDescriptorToken(ReadDescriptorToken&& o) noexcept
        : procs_(o.procs_), token_(std::exchange(o.token_, nullptr)) {}
    ReadDescriptorToken& operator=(ReadDescriptorToken&&) = delete;
    ReadDescriptorToken(const ReadDescriptorToken&) = delete;
    ReadDescriptorToken& operator=(const ReadDescriptorToken&) = delete;
    ~ReadDescriptorToken() { close(); }

    PIReadDescriptor get() const { return token_; }
    explicit operator bool() const { return token_ != nullptr; }

    OSErr close() {
        PIReadDescriptor t = std::exchange(token_, nullptr);
        return t ? procs_->closeReadDescriptorProc(t) : OSErr(noErr);
    }

  private:
    ReadDescriptorProcs* procs_;
    PIReadDescriptor token_;
};

// An open write token. Closing it explicitly hands over the descriptor the
// host built; a token left open is closed at the end of the scope and what
// the host built then is disposed of (it reached no keeper).
class WriteDescriptorToken {
  public:
    WriteDescriptorToken(WriteDescriptorProcs& procs, HandleProcs* handles)
        : procs_(&procs), handles_(handles), token_(procs.openWriteDescriptorProc()) {}
    WriteDescriptorToken(WriteDescriptorToken&& o) noexcept
        : procs_(o.procs_), handles_(o.handles_), token_(std::exchange(o.token_, nullptr)) {}
    WriteDescriptorToken& operator=(WriteDescriptorToken&&) = delete;
    WriteDescriptorToken(const WriteDescriptorToken&) = delete;
    WriteDescriptorToken& operator=(const WriteDescriptorToken&) = delete;
    ~WriteDescriptorToken() {
        PIDescriptorHandle orphan = nullptr;
        close(&orphan);
        OwnedHandle(handles_, orphan).reset();
    }

    PIWriteDescriptor get() const { return token_; }
    explicit operator bool() const { return token_ != nullptr; }

    OSErr close(PIDescriptorHandle* written) {
        PIWriteDescriptor t = std::exchange(token_, nullptr);
        return t ? procs_->closeWriteDescriptorProc(t, written) : OSErr(noErr);
    }

  private:
    WriteDescriptorProcs* procs_;
    HandleProcs* handles_;
    PIWriteDescriptor token_;
};

} // namespace qf
