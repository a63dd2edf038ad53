#include "lsf/inflate_block.h"

#include <zlib.h>

#include <algorithm>
#include <new>

namespace mk {
namespace {

// 15 bits: a 32 KiB window; +32: a zlib or a gzip header, detected.
constexpr int kWindowBitsAnyHeader = 15 + 32;

class InflateStream {
public:
    InflateStream(const unsigned char* data, int size) {
        stream_.next_in = const_cast<Bytef*>(data);  // zlib's input pointer is not const
        stream_.avail_in = static_cast<uInt>(size);
        ready_ = inflateInit2(&stream_, kWindowBitsAnyHeader) == Z_OK;
    }
    InflateStream(const InflateStream&) = delete;
    InflateStream& operator=(const InflateStream&) = delete;
    ~InflateStream() {
        if (ready_) inflateEnd(&stream_);
    }
    bool ready() const { return ready_; }
    z_stream& get() { return stream_; }

private:
    z_stream stream_{};
    bool ready_ = false;
};

}  // namespace

bool inflateBlock(const unsigned char* data, int size, InflatedText& text, std::size_t limit) {
    if (size < 1 || data == nullptr || limit == 0) return false;
    try {
        InflateStream inflater(data, size);
        if (!inflater.ready()) return false;
        z_stream& stream = inflater.get();

        // Four times the compressed size, doubled while the stream needs more.
        InflatedText buffer(std::min(std::size_t(size) * 4, limit), '\0');
        stream.next_out = reinterpret_cast<Bytef*>(buffer.data());
        stream.avail_out = static_cast<uInt>(buffer.size());
        int result = inflate(&stream, Z_FINISH);
        while ((result == Z_OK || result == Z_BUF_ERROR) && stream.avail_out == 0) {
            if (buffer.size() >= limit) return false;
            const std::size_t written = buffer.size();
            buffer.resize(std::min(written * 2, limit), '\0');
            stream.next_out = reinterpret_cast<Bytef*>(buffer.data() + written);
            stream.avail_out = static_cast<uInt>(buffer.size() - written);
            result = inflate(&stream, Z_FINISH);
        }
        // Z_BUF_ERROR with output space left: the input ended before the stream did.
        if (result != Z_STREAM_END) return false;
        buffer.resize(stream.total_out);
        text = std::move(buffer);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace mk
