#include "platform/Gzip.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <new>

namespace zelmo::platform {

namespace {

constexpr std::size_t CHUNK = 8192;

// zlib's stream API takes non-const input pointers but never writes through them.
Bytef* InputPointer(std::string_view bytes, std::size_t offset) {
    return reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data() + offset));
}

class InflateStream {
public:
    InflateStream() {
        // 32 + window bits: accept a gzip or a zlib header, whichever comes.
        m_ok = inflateInit2(&m_stream, 32 + MAX_WBITS) == Z_OK;
    }
    ~InflateStream() {
        if (m_ok) {
            inflateEnd(&m_stream);
        }
    }
    InflateStream(const InflateStream&) = delete;
    InflateStream& operator=(const InflateStream&) = delete;
    bool Ok() const { return m_ok; }
    z_stream& Stream() { return m_stream; }

private:
    z_stream m_stream{};
    bool m_ok = false;
};

class DeflateStream {
public:
    DeflateStream() {
        // 16 + window bits: write a gzip header and trailer.
        m_ok = deflateInit2(&m_stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8,
                            Z_DEFAULT_STRATEGY) == Z_OK;
    }
    ~DeflateStream() {
        if (m_ok) {
            deflateEnd(&m_stream);
        }
    }
    DeflateStream(const DeflateStream&) = delete;
    DeflateStream& operator=(const DeflateStream&) = delete;
    bool Ok() const { return m_ok; }
    z_stream& Stream() { return m_stream; }

private:
    z_stream m_stream{};
    bool m_ok = false;
};

}  // namespace

std::string Gunzip(std::string_view compressed, std::size_t max_bytes) {
    InflateStream inflater;
    if (!inflater.Ok()) {
        return {};
    }
    z_stream& stream = inflater.Stream();
    std::array<char, CHUNK> buffer{};
    std::size_t offset = 0;
    try {
        std::string plain;
        while (true) {
            const std::size_t chunk = std::min(CHUNK, compressed.size() - offset);
            stream.next_in = InputPointer(compressed, offset);
            stream.avail_in = static_cast<uInt>(chunk);
            stream.next_out = reinterpret_cast<Bytef*>(buffer.data());
            stream.avail_out = static_cast<uInt>(buffer.size());
            const int result = inflate(&stream, Z_NO_FLUSH);
            const std::size_t consumed = chunk - stream.avail_in;
            const std::size_t produced = buffer.size() - stream.avail_out;
            // A few kilobytes may unpack to gigabytes: refuse before growing past the limit.
            if (produced > max_bytes - plain.size()) {
                return {};
            }
            plain.append(buffer.data(), produced);
            offset += consumed;
            // The stream's end, a data error and a call that moves nothing (truncated or
            // empty input) all end the loop: it can never spin.
            if (result != Z_OK || (consumed == 0 && produced == 0)) {
                break;
            }
        }
        return plain;
    } catch (const std::bad_alloc&) {
        return {};
    }
}

std::string Gzip(std::string_view plain) {
    std::string compressed;
    DeflateStream deflater;
    if (!deflater.Ok()) {
        return compressed;
    }
    z_stream& stream = deflater.Stream();
    std::array<char, CHUNK> buffer{};
    std::size_t offset = 0;
    int result = Z_OK;
    while (result != Z_STREAM_END) {
        const std::size_t chunk = std::min(CHUNK, plain.size() - offset);
        const bool last = offset + chunk == plain.size();
        stream.next_in = InputPointer(plain, offset);
        stream.avail_in = static_cast<uInt>(chunk);
        do {
            stream.next_out = reinterpret_cast<Bytef*>(buffer.data());
            stream.avail_out = static_cast<uInt>(buffer.size());
            result = deflate(&stream, last ? Z_FINISH : Z_NO_FLUSH);
            if (result == Z_STREAM_ERROR) {
                return {};
            }
            compressed.append(buffer.data(), buffer.size() - stream.avail_out);
        } while (stream.avail_out == 0);
        offset += chunk - stream.avail_in;
    }
    return compressed;
}

}  // namespace zelmo::platform
