// PNG files: signature, IHDR, the chunk walk with CRC-32, the IDAT chunks
// inflated by zlib a row at a time, the five filters, Adam7, sample conversion
// and tRNS. All work memory comes from the image heap and is freed on every
// path; the image is created only after the header has been checked.
#include <zlib.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "graphics/images/image_heap.h"
#include "graphics/images/new_images.h"
#include "graphics/loaders/image_decoders.h"
#include "graphics/pixels/pixel_formats.h"

namespace tarvelo::graphics {

namespace {

constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::uint32_t kMinimumLength = 33;

std::uint32_t be32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
}

// A block of the image heap released when it goes out of scope.
class HeapBuffer {
public:
    HeapBuffer() = default;
    HeapBuffer(const HeapBuffer&) = delete;
    HeapBuffer& operator=(const HeapBuffer&) = delete;
    ~HeapBuffer() { reset(); }
    bool allocate(std::uint64_t size) {
        reset();
        if (size > 0xFFFFFFF0u) return false;
        data_ = static_cast<std::uint8_t*>(ImageHeap::allocate(static_cast<std::uint32_t>(std::max<std::uint64_t>(size, 1))));
        return data_ != nullptr;
    }
    void reset() {
        if (data_ != nullptr) ImageHeap::free(data_);
        data_ = nullptr;
    }
    std::uint8_t* get() const { return data_; }
    void swap(HeapBuffer& other) { std::swap(data_, other.data_); }

private:
    std::uint8_t* data_ = nullptr;
};

std::uint32_t samples_of(std::uint32_t colour_type) {
    switch (colour_type) {
        case 0: return 1;
        case 2: return 3;
        case 3: return 1;
        case 4: return 2;
        case 6: return 4;
    }
    return 0;
}

bool allowed(std::uint32_t colour_type, std::uint32_t depth) {
    switch (colour_type) {
        case 0: return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
        case 3: return depth == 1 || depth == 2 || depth == 4 || depth == 8;
        case 2:
        case 4:
        case 6: return depth == 8 || depth == 16;
    }
    return false;
}

// Everything of one decoding; a fresh state per file.
struct Png {
    std::uint32_t width = 0, height = 0, depth = 0, colour_type = 0, samples = 0;
    bool interlaced = false;
    std::uint32_t* palette = nullptr;  // 2^depth entries, in `palette_buffer`
    bool has_key = false;
    std::uint16_t key[3] = {};
    bool opaque = true;

    std::uint64_t rowBytes(std::uint64_t pixels) const {
        if (depth < 8) return (pixels * depth + 7) / 8 * samples;
        return pixels * depth / 8 * samples;
    }

    std::uint32_t sample(const std::uint8_t* row, std::uint32_t x, std::uint32_t i) const {
        if (depth == 16) {
            const std::uint8_t* p = row + (std::size_t{x} * samples + i) * 2;
            return static_cast<std::uint32_t>(p[0]) << 8 | p[1];
        }
        if (depth == 8) return row[std::size_t{x} * samples + i];
        const std::uint32_t bit = x * depth;  // sub-byte formats have one sample
        return (row[bit / 8] >> (8 - depth - bit % 8)) & ((1u << depth) - 1);
    }

    std::uint32_t scale(std::uint32_t v) const { return v * 255 / ((1u << depth) - 1); }

    std::uint32_t argb(const std::uint8_t* row, std::uint32_t x) const {
        switch (colour_type) {
            case 0:
            case 4: {
                const std::uint32_t raw = sample(row, x, 0), g = scale(raw);
                std::uint32_t a = colour_type == 4 ? scale(sample(row, x, 1)) : 255;
                if (has_key && colour_type == 0 && raw == key[0]) a = 0;
                return a << 24 | g << 16 | g << 8 | g;
            }
            case 3: return palette[sample(row, x, 0)];
            default: {
                const std::uint32_t r = sample(row, x, 0), g = sample(row, x, 1), b = sample(row, x, 2);
                std::uint32_t a = colour_type == 6 ? sample(row, x, 3) : (1u << depth) - 1;
                if (depth == 16) a = a * 255 / 65535;
                else a = colour_type == 6 ? a : 255;
                if (has_key && colour_type == 2 && r == key[0] && g == key[1] && b == key[2]) a = 0;
                return a << 24 | scale(r) << 16 | scale(g) << 8 | scale(b);
            }
        }
    }
};

struct Pass {
    std::uint32_t x0, y0, dx, dy;
};
constexpr Pass kAdam7[7] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                            {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
constexpr Pass kWhole = {0, 0, 1, 1};

inline std::uint8_t paeth(std::int32_t a, std::int32_t b, std::int32_t c) {
    const std::int32_t pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
    const std::int32_t bc = pb <= pc ? b : c;
    return static_cast<std::uint8_t>(pa <= pb && pa <= pc ? a : bc);
}

// The Paeth filter over whole pixels of BPP bytes: the bytes of one pixel
// are independent, so they are computed side by side, each channel's left
// and upper-left neighbours kept in registers (the loop over the channels
// unrolled). Each predictor is the one `paeth` picks.
template <std::uint32_t BPP>
void unpaeth_pixels(std::uint8_t* row, const std::uint8_t* prior, std::uint64_t bytes) {
    std::int32_t left[BPP], upper_left[BPP];
#pragma GCC unroll 4
    for (std::uint32_t k = 0; k < BPP; ++k) left[k] = row[k], upper_left[k] = prior[k];
    std::uint64_t i = BPP;
    for (; i + BPP <= bytes; i += BPP) {
#pragma GCC unroll 4
        for (std::uint32_t k = 0; k < BPP; ++k) {
            const std::int32_t up = prior[i + k], a = left[k], c = upper_left[k];
            const std::int32_t p = up - c, q = a - c;
            std::int32_t best = std::abs(p), predictor = a;
            const std::int32_t pb = std::abs(q), pc = std::abs(p + q);
            if (pb < best) best = pb, predictor = up;
            if (pc < best) predictor = c;
            const std::uint8_t v = static_cast<std::uint8_t>(row[i + k] + predictor);
            row[i + k] = v;
            left[k] = v;
            upper_left[k] = up;
        }
    }
    for (; i < bytes; ++i) row[i] = static_cast<std::uint8_t>(row[i] + paeth(row[i - BPP], prior[i], prior[i - BPP]));
}

// Undoes the filter of one row in place; false for an unknown filter. One
// loop per filter, the bytes before the first whole pixel (no left
// neighbour) apart; the first row has no prior row (all zero).
bool unfilter(std::uint8_t filter, std::uint8_t* row, const std::uint8_t* prior, std::uint64_t bytes,
              std::uint32_t bpp) {
    const std::uint64_t lead = std::min<std::uint64_t>(bpp, bytes);
    switch (filter) {
        case 0: return true;
        case 1:
            for (std::uint64_t i = lead; i < bytes; ++i) row[i] = static_cast<std::uint8_t>(row[i] + row[i - bpp]);
            return true;
        case 2:
            if (prior != nullptr)
                for (std::uint64_t i = 0; i < bytes; ++i) row[i] = static_cast<std::uint8_t>(row[i] + prior[i]);
            return true;
        case 3:
            if (prior == nullptr) {
                for (std::uint64_t i = lead; i < bytes; ++i) row[i] = static_cast<std::uint8_t>(row[i] + (row[i - bpp] >> 1));
                return true;
            }
            for (std::uint64_t i = 0; i < lead; ++i) row[i] = static_cast<std::uint8_t>(row[i] + (prior[i] >> 1));
            for (std::uint64_t i = lead; i < bytes; ++i)
                row[i] = static_cast<std::uint8_t>(row[i] + ((row[i - bpp] + prior[i]) >> 1));
            return true;
        case 4:
            // Without a prior row the predictor is the left neighbour.
            if (prior == nullptr) {
                for (std::uint64_t i = lead; i < bytes; ++i) row[i] = static_cast<std::uint8_t>(row[i] + row[i - bpp]);
                return true;
            }
            for (std::uint64_t i = 0; i < lead; ++i) row[i] = static_cast<std::uint8_t>(row[i] + prior[i]);
            if (bytes > bpp && bpp == 4) unpaeth_pixels<4>(row, prior, bytes);
            else if (bytes > bpp && bpp == 3) unpaeth_pixels<3>(row, prior, bytes);
            else
                for (std::uint64_t i = lead; i < bytes; ++i)
                    row[i] = static_cast<std::uint8_t>(row[i] + paeth(row[i - bpp], prior[i], prior[i - bpp]));
            return true;
        default: return false;
    }
}

// The pixels of one unfiltered row of a pass into the image. 8-bit RGB and
// RGBA without a colour key go straight to ARGB8888 words; everything else
// through the sample conversion and the format's writer. Clears
// `png.opaque` when a pixel has alpha below 255.
void store_row(Png& png, const std::uint8_t* row, std::uint32_t pw, const Pass& pass, std::uint32_t y,
               std::int32_t target, const SPictavoImage* image, std::uint8_t* pixels) {
    const std::uint32_t image_y = pass.y0 + y * pass.dy;
    std::uint32_t all = 0xFFFFFFFFu;
    if (target == kFormatARGB8888 && png.depth == 8 && (png.colour_type == 6 || (png.colour_type == 2 && !png.has_key))) {
        std::uint8_t* out = pixels + 4 * (std::size_t{image_y} * image->memory_width + pass.x0);
        const std::size_t step = 4 * std::size_t{pass.dx};
        if (png.colour_type == 6) {
            for (std::uint32_t x = 0; x < pw; ++x, row += 4, out += step) {
                std::uint32_t c;
                if constexpr (std::endian::native == std::endian::little) {
                    // R, G, B, A in memory: one word, red and blue swapped.
                    std::uint32_t w;
                    std::memcpy(&w, row, 4);
                    c = (w & 0xFF00FF00u) | (w & 0xFFu) << 16 | (w >> 16 & 0xFFu);
                } else {
                    c = static_cast<std::uint32_t>(row[3]) << 24 | row[0] << 16 | row[1] << 8 | row[2];
                }
                all &= c;
                std::memcpy(out, &c, 4);
            }
        } else {
            for (std::uint32_t x = 0; x < pw; ++x, row += 3, out += step) {
                const std::uint32_t c = 0xFF000000u | row[0] << 16 | row[1] << 8 | row[2];
                std::memcpy(out, &c, 4);
            }
        }
    } else {
        for (std::uint32_t x = 0; x < pw; ++x) {
            const std::uint32_t colour = png.argb(row, x);
            all &= colour;
            write_pixel(target, pixels, image->memory_width, static_cast<std::int32_t>(pass.x0 + x * pass.dx),
                        static_cast<std::int32_t>(image_y), colour);
        }
    }
    if ((all >> 24) != 255) png.opaque = false;
}

voidpf heap_alloc(voidpf, uInt items, uInt size) {
    const std::uint64_t bytes = std::uint64_t{items} * size;
    return bytes > 0xFFFFFFF0u ? Z_NULL : ImageHeap::allocate(static_cast<std::uint32_t>(bytes));
}
void heap_free(voidpf, voidpf p) { ImageHeap::free(p); }

// The zlib stream (window 15) of the IDAT chunks, read straight from the
// file chunk after chunk and inflated a row at a time, so that the rows are
// unfiltered while they are in the cache and no copy of the whole stream
// or of all its rows is made. The stream must give exactly the bytes asked
// and end there: fill() and finish() return 0, -2 out of memory, or -3
// anything else.
class RowInflater {
public:
    RowInflater(const std::uint8_t* data, const std::uint32_t* chunks, std::uint32_t count)
        : data_(data), chunks_(chunks), count_(count) {
        z_.zalloc = heap_alloc;
        z_.zfree = heap_free;
    }
    RowInflater(const RowInflater&) = delete;
    RowInflater& operator=(const RowInflater&) = delete;
    ~RowInflater() {
        if (started_) inflateEnd(&z_);
    }
    std::int32_t start() {
        const int init = inflateInit2(&z_, 15);
        if (init == Z_MEM_ERROR) return kErrOutOfMemory;
        if (init != Z_OK) return kErrNotRaw;
        started_ = true;
        return 0;
    }
    // The next `size` bytes into `out`.
    std::int32_t fill(std::uint8_t* out, std::uint32_t size) {
        if (ended_) return kErrNotRaw;
        z_.next_out = out;
        z_.avail_out = size;
        while (z_.avail_out > 0) {
            const int result = step();
            if (result == Z_STREAM_END) {
                ended_ = true;
                return z_.avail_out == 0 ? 0 : kErrNotRaw;
            }
            if (result != Z_OK) return result == Z_MEM_ERROR ? kErrOutOfMemory : kErrNotRaw;
        }
        return 0;
    }
    // After the last row: the stream ends without another byte.
    std::int32_t finish() {
        std::uint8_t spare;
        while (!ended_) {
            z_.next_out = &spare;
            z_.avail_out = 1;
            const int result = step();
            if (z_.avail_out == 0) return kErrNotRaw;
            if (result == Z_STREAM_END) ended_ = true;
            else if (result != Z_OK) return result == Z_MEM_ERROR ? kErrOutOfMemory : kErrNotRaw;
        }
        return 0;
    }

private:
    // One inflate call with the next chunks' bytes as input when the last
    // ones are used up; Z_BUF_ERROR (no progress) once there are none left.
    int step() {
        while (z_.avail_in == 0 && next_ < count_) {
            z_.next_in = const_cast<std::uint8_t*>(data_ + chunks_[2 * next_]);
            z_.avail_in = chunks_[2 * next_ + 1];
            ++next_;
        }
        return inflate(&z_, Z_NO_FLUSH);
    }

    z_stream z_{};
    const std::uint8_t* data_;
    const std::uint32_t* chunks_;
    std::uint32_t count_;
    std::uint32_t next_ = 0;
    bool started_ = false;
    bool ended_ = false;
};

std::uint32_t pass_size(std::uint32_t size, std::uint32_t start, std::uint32_t step) {
    return size > start ? (size - start + step - 1) / step : 0;
}

// Chunks and pixels after a checked IHDR: 0, -2 or -3. The image exists.
std::int32_t decode_body(Png& png, const std::uint8_t* data, std::uint32_t length, SPictavoImage* image,
                         std::int32_t target) {
    HeapBuffer list_buffer, palette_buffer, rows_buffer;
    std::uint32_t list_capacity = 10, list_count = 0;
    if (!list_buffer.allocate(8 * list_capacity)) return kErrOutOfMemory;
    bool ended = false;
    std::uint64_t at = kMinimumLength;
    while (!ended) {
        if (at + 8 > length) return kErrNotRaw;
        const std::uint64_t size = be32(data + at);
        const std::uint8_t* type = data + at + 4;
        if (at + 12 + size > length) return kErrNotRaw;  // 64-bit: no wrap
        const std::uint32_t crc = static_cast<std::uint32_t>(crc32(0, type, static_cast<uInt>(size + 4)));
        if (crc != be32(type + 4 + size)) return kErrNotRaw;
        const std::uint8_t* body = type + 4;
        if (std::memcmp(type, "PLTE", 4) == 0) {
            // A second palette is malformed (and would leak the first).
            if (png.palette != nullptr || size % 3 != 0 || size > 3u * (1u << std::min(png.depth, 8u)))
                return kErrNotRaw;
            const std::uint32_t entries = 1u << std::min(png.depth, 8u);
            if (!palette_buffer.allocate(4ull * entries)) return kErrOutOfMemory;
            png.palette = reinterpret_cast<std::uint32_t*>(palette_buffer.get());
            for (std::uint32_t i = 0; i < entries; ++i)
                png.palette[i] = 3 * i + 2 < size ? 0xFF000000u | body[3 * i] << 16 | body[3 * i + 1] << 8 | body[3 * i + 2]
                                                  : 0xFF000000u;
        } else if (std::memcmp(type, "tRNS", 4) == 0) {
            png.has_key = true;
            if (png.colour_type == 2) {
                if (size < 6) return kErrNotRaw;
                for (int i = 0; i < 3; ++i) png.key[i] = static_cast<std::uint16_t>(body[2 * i] << 8 | body[2 * i + 1]);
            } else if (png.colour_type == 0) {
                if (size < 2) return kErrNotRaw;
                png.key[0] = static_cast<std::uint16_t>(body[0] << 8 | body[1]);
            } else if (png.colour_type == 3) {
                if (png.palette == nullptr) return kErrNotRaw;
                const std::uint64_t n = std::min<std::uint64_t>(size, 1u << png.depth);
                for (std::uint64_t i = 0; i < n; ++i)
                    png.palette[i] = (png.palette[i] & 0xFFFFFFu) | static_cast<std::uint32_t>(body[i]) << 24;
            } else {
                return kErrNotRaw;
            }
        } else if (std::memcmp(type, "IDAT", 4) == 0) {
            if (list_count == list_capacity) {
                HeapBuffer larger;
                if (!larger.allocate(16ull * list_capacity)) return kErrOutOfMemory;
                std::memcpy(larger.get(), list_buffer.get(), 8ull * list_capacity);
                larger.swap(list_buffer);  // the old list is freed with `larger`
                list_capacity *= 2;
            }
            auto* list = reinterpret_cast<std::uint32_t*>(list_buffer.get());
            list[2 * list_count] = static_cast<std::uint32_t>(at + 8);
            list[2 * list_count + 1] = static_cast<std::uint32_t>(size);
            ++list_count;
        } else if (std::memcmp(type, "IEND", 4) == 0) {
            ended = true;
        }
        at += 12 + size;
    }
    // A palette image needs its palette.
    if (png.colour_type == 3 && png.palette == nullptr) return kErrNotRaw;

    const Pass* passes = png.interlaced ? kAdam7 : &kWhole;
    const int pass_count = png.interlaced ? 7 : 1;
    RowInflater stream(data, reinterpret_cast<const std::uint32_t*>(list_buffer.get()), list_count);
    if (const std::int32_t started = stream.start(); started != 0) return started;
    // Rows are inflated a block of about 32 KB at a time (zlib's fast loop
    // stops short of the end of each output buffer), unfiltered while in
    // the cache; the block's last row is kept in slot 0 as the next
    // block's prior row. Slots are as wide as the widest pass's rows with
    // their filter byte.
    const std::uint64_t widest = 1 + png.rowBytes(png.width);
    const std::uint64_t block_rows = std::max<std::uint64_t>(1, 32768 / widest);
    if (!rows_buffer.allocate((1 + block_rows) * widest)) return kErrOutOfMemory;

    const std::uint32_t bpp = std::max<std::uint32_t>(1, png.samples * png.depth / 8);
    std::uint8_t* pixels = image_pixels(image);
    for (int p = 0; p < pass_count; ++p) {
        const Pass& pass = passes[p];
        const std::uint32_t pw = pass_size(png.width, pass.x0, pass.dx);
        const std::uint32_t ph = pass_size(png.height, pass.y0, pass.dy);
        if (pw == 0 || ph == 0) continue;
        const std::uint64_t bytes = png.rowBytes(pw), stride = 1 + bytes;
        const std::uint8_t* prior = nullptr;
        for (std::uint32_t y = 0; y < ph;) {
            const auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(block_rows, ph - y));
            std::uint8_t* row = rows_buffer.get() + widest;
            if (const std::int32_t filled = stream.fill(row, static_cast<std::uint32_t>(n * stride)); filled != 0)
                return filled;
            for (std::uint32_t k = 0; k < n; ++k, ++y, row += stride) {
                if (!unfilter(row[0], row + 1, prior, bytes, bpp)) return kErrNotRaw;
                store_row(png, row + 1, pw, pass, y, target, image, pixels);
                prior = row + 1;
            }
            if (y < ph) {
                std::memcpy(rows_buffer.get(), row - stride, stride);
                prior = rows_buffer.get() + 1;
            }
        }
    }
    return stream.finish();
}

}  // namespace

std::int32_t decode_png(const std::uint8_t* data, std::uint32_t length, std::int32_t format, SPictavoImage* image) {
    if (length < kMinimumLength || std::memcmp(data, kSignature, 8) != 0) return kErrNoDecoder;
    if (data[28] > 1) return kErrNoDecoder;  // neither interlace method
    // The header before anything is created: IHDR of 13 bytes with its CRC,
    // sizes the engine can hold, an allowed combination, methods 0.
    Png png;
    if (be32(data + 8) != 13 || std::memcmp(data + 12, "IHDR", 4) != 0) return kErrNotRaw;
    if (static_cast<std::uint32_t>(crc32(0, data + 12, 17)) != be32(data + 29)) return kErrNotRaw;
    png.width = be32(data + 16);
    png.height = be32(data + 20);
    png.depth = data[24];
    png.colour_type = data[25];
    png.interlaced = data[28] == 1;
    if (png.width == 0 || png.width > 0xFFFF || png.height == 0 || png.height > 0xFFFF) return kErrNotRaw;
    if (!allowed(png.colour_type, png.depth) || data[26] != 0 || data[27] != 0) return kErrNotRaw;
    png.samples = samples_of(png.colour_type);

    const std::int32_t target = decoder_format(format, kFormatARGB8888);
    const std::int32_t created = NewImages::open(static_cast<std::int32_t>(png.width),
                                                 static_cast<std::int32_t>(png.height), target, false, image);
    if (created != 0) return created;
    const std::int32_t result = decode_body(png, data, length, image, target);
    if (result != 0) {
        NewImages::dispose(image);
        image->flags |= kImageClosed;
        return result;
    }
    if (png.opaque) NewImages::setFullyOpaque(image);
    return 0;
}

}  // namespace tarvelo::graphics
