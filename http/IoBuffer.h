// The connection's I/O buffer: the receive area while a request is read, then the
// response bytes waiting to be sent, with the count of pending bytes at its front.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace tarnhollow {

class IoBuffer {
public:
    IoBuffer();
    ~IoBuffer();
    IoBuffer(IoBuffer&&) = default;
    IoBuffer& operator=(IoBuffer&&) = default;

    // Sets the logical size and forgets pending bytes. The bytes are not cleared: every
    // byte is written before it is read.
    void Reset(size_t logicalSize);

    // Appends at the pending count, growing the logical size in 16384-byte steps.
    void AppendBytes(std::string_view bytes);
    // Appends wide text converted to the 8-bit code page.
    void AppendText(std::wstring_view text);

    // Drops `count` sent bytes from the front; the logical size shrinks with them.
    void Consume(size_t count);
    // Forgets pending bytes and gives back the whole buffer, without clearing it.
    void Rewind() {
        start_ = 0;
        pending_ = 0;
    }
    // Frees the storage; Reset gives the buffer back its size.
    void Release() {
        GiveBack(std::move(bytes_), size_);
        size_ = 0;
        Rewind();
    }

    char* Data() { return bytes_.get() + start_; }
    const char* Data() const { return bytes_.get() + start_; }
    size_t LogicalSize() const { return size_ - start_; }
    size_t Pending() const { return pending_; }
    void SetPending(size_t count) { pending_ = count; }
    std::string_view PendingBytes() const { return {Data(), pending_}; }

private:
    // Storage of the usual size is kept for the next connection of this thread: taking
    // 16 KiB from the heap for every connection made the allocator tidy up each time.
    static std::unique_ptr<char[]> Take(size_t size);
    static void GiveBack(std::unique_ptr<char[]> bytes, size_t size);

    std::unique_ptr<char[]> bytes_;
    size_t size_ = 0;
    // Sent bytes are dropped by moving this start, not the bytes after it, so sending a
    // large page in many pieces costs no more than sending it at once.
    size_t start_ = 0;
    size_t pending_ = 0;
};

}  // namespace tarnhollow
