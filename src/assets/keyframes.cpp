#include "assets/keyframes.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "data/data_file.h"

namespace {

constexpr size_t kMaxLine = 127;

// Reads one line as the data file reader does: leading spaces dropped, carriage returns dropped,
// the line feed consumed. Characters past kMaxLine are read and discarded. Returns false when the
// text ran out before a line feed; the line read so far is still delivered.
class LineReader {
public:
    explicit LineReader(std::span<const uint8_t> text) : text_(text) {}

    bool next(char (&line)[kMaxLine + 1])
    {
        size_t length = 0;
        while (pos_ < text_.size() && text_[pos_] == ' ')
            ++pos_;
        while (pos_ < text_.size()) {
            const char c = static_cast<char>(text_[pos_++]);
            if (c == '\n') {
                line[length] = '\0';
                return true;
            }
            if (c != '\r' && length < kMaxLine)
                line[length++] = c;
        }
        line[length] = '\0';
        return false;
    }

    size_t position() const { return pos_; }

private:
    std::span<const uint8_t> text_;
    size_t pos_ = 0;
};

bool startsWith(const char* line, const char* keyword) { return std::strncmp(line, keyword, std::strlen(keyword)) == 0; }

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// One decimal number as "%f" reads it. Values that do not fit a float, or are not finite, do not
// count as scanned: a camera key must never carry an infinity or a NaN.
const char* scanFloat(const char* s, float& out)
{
    while (isSpace(*s))
        ++s;
    const char* start = s;
    if (*s == '+') {
        ++start;
        if (start[0] == '-' || start[0] == '+')
            return nullptr;
    }
    float value = 0.0f;
    const char* end = start + std::strlen(start);
    const auto [ptr, ec] = std::from_chars(start, end, value, std::chars_format::general);
    if (ec != std::errc() || !std::isfinite(value))
        return nullptr;
    out = value;
    return ptr;
}

// A small sscanf: whitespace in the format skips any whitespace, "%f" stores into the next target,
// any other format character must match. Stops at the first mismatch, so targets after it keep
// their values.
void scanInto(const char* line, const char* format, float* const* targets)
{
    const char* s = line;
    for (const char* f = format; *f; ++f) {
        if (isSpace(*f)) {
            while (isSpace(*s))
                ++s;
        } else if (f[0] == '%' && f[1] == 'f') {
            s = scanFloat(s, **targets);
            if (!s)
                return;
            ++targets;
            ++f;
        } else if (*s == *f) {
            ++s;
        } else {
            return;
        }
    }
}

void applyLine(Keyframe& key, const char* line)
{
    if (startsWith(line, "position")) {
        float* const t[] = {&key.position.x, &key.position.y, &key.position.z};
        scanInto(line, "position V(%f %f %f)", t);
    } else if (startsWith(line, "gradient")) {
        float* const t[] = {&key.gradient.x, &key.gradient.y, &key.gradient.z};
        scanInto(line, "gradient V(%f %f %f)", t);
    } else if (startsWith(line, "quaternion")) {
        float* const t[] = {&key.orientation.x, &key.orientation.y, &key.orientation.z, &key.orientation.w};
        scanInto(line, "quaternion Q(%f %f %f %f)", t);
    } else if (startsWith(line, "time")) {
        float* const t[] = {&key.time};
        scanInto(line, "time %f", t);
    } else if (startsWith(line, "freeze")) {
        key.freeze = true;
    }
}

}  // namespace

size_t parseKeyframes(KeyframeTrack& track, std::span<const uint8_t> text)
{
    LineReader reader(text);
    char line[kMaxLine + 1];
    std::unique_ptr<Keyframe> open;
    for (;;) {
        const bool more = reader.next(line);
        if (!open) {
            if (startsWith(line, "keyframe"))
                open = std::make_unique<Keyframe>();
            else if (startsWith(line, "ENDKEYS"))
                break;
        } else {
            applyLine(*open, line);
            if (startsWith(line, "end"))
                track.push_back(std::move(open));
        }
        if (!more)
            break;
    }
    return reader.position();
}

void parseKeyframes(KeyframeTrack& track, DataFile& file)
{
    if (!file.data || file.position >= file.size)
        return;
    file.position += static_cast<uint32_t>(parseKeyframes(track, {file.data + file.position, file.size - file.position}));
}
