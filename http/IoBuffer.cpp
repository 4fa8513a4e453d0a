// Growth and consumption of the connection's I/O buffer.
#include "http/IoBuffer.h"

#include <cstring>

#include "http/Limits.h"
#include "platform/TextConvert.h"

namespace tarnhollow {

IoBuffer::IoBuffer() { Reset(limits::kIoBufferSize); }

void IoBuffer::Reset(size_t logicalSize) {
    bytes_.assign(logicalSize, 0);
    start_ = 0;
    pending_ = 0;
}

void IoBuffer::AppendBytes(std::string_view bytes) {
    const size_t n = bytes.size();
    if (LogicalSize() < pending_ + n) {
        const size_t step = limits::kIoBufferSize;
        bytes_.resize(start_ + pending_ + (n / step) * step + step, 0);
    }
    if (n) std::memcpy(Data() + pending_, bytes.data(), n);
    pending_ += n;
}

void IoBuffer::AppendText(std::wstring_view text) { AppendBytes(WideToAnsi(text)); }

void IoBuffer::Consume(size_t count) {
    if (count > pending_) count = pending_;
    start_ += count;
    pending_ -= count;
}

}  // namespace tarnhollow
