// The per-user settings key as an ini-style file: one "Name=value" line per value, numbers in
// decimal; other lines (comments, names of no one's) are kept as they are. Written whole to a temporary file beside it and renamed over it, so a crash or a full
// disk leaves either the old file or the new one, never half of one.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/linux/linux_internal.h"
#include "platform/platform.h"

namespace platform {

namespace {

// A settings file is a few hundred bytes; anything far larger is not ours to parse.
constexpr off_t kMaxFileSize = 64 * 1024;

std::string gStoreFileOverride;

std::string defaultStoreFile()
{
    std::string base;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config == '/')
        base = config;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::string(home) + "/.config";
    else
        return {};
    // HOME=. keeps a program's settings beside the user, before and after the entry's move.
    return linux_detail::fromStartDirectory(base) + "/vesiclar/settings.ini";
}

enum class FileRead { Absent, Read, Unreadable };

FileRead readWholeFile(const std::string& path, std::string& text)
{
    // O_NONBLOCK: opening a FIFO put there in the file's place would otherwise wait for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? FileRead::Absent : FileRead::Unreadable;
    struct stat st{};
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kMaxFileSize;
    if (ok) {
        text.resize(static_cast<size_t>(st.st_size));
        size_t got = 0;
        while (ok && got < text.size()) {
            const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
            if (n < 0 && errno == EINTR)
                continue;
            ok = n >= 0;
            if (n <= 0)
                break;
            got += static_cast<size_t>(n);
        }
        text.resize(got);
    }
    ::close(fd);
    return ok ? FileRead::Read : FileRead::Unreadable;
}

bool makeFolders(const std::string& file)
{
    for (size_t slash = file.find('/', 1); slash != std::string::npos; slash = file.find('/', slash + 1)) {
        const std::string folder = file.substr(0, slash);
        if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    return true;
}

bool writeAll(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

void setSettingsStoreFile(const std::string& path) { gStoreFileOverride = path; }

std::string settingsStoreFile() { return gStoreFileOverride.empty() ? defaultStoreFile() : gStoreFileOverride; }

// Hand-edited files are read as forgivingly as the registry: names match without regard to case,
// and blanks around names and values do not count.
struct SettingsStore::State {
    struct Line {
        std::string text;     // as in the file, without its line end
        std::string ending;   // "\n", "\r\n", or "" for a last line without one
        std::string name;     // empty: a comment, a blank or anything else the store does not own
        size_t valueAt = 0;   // where the value starts in text
    };

    std::string path;
    std::vector<Line> lines;  // file order; a save rewrites only the values it writes
    bool dirty = false;
    // Something is there that could not be read whole (too large, not a file, a read error): a
    // save would put a few values in place of what it holds.
    bool mustNotReplace = false;

    static bool isBlank(char c) { return c == ' ' || c == '\t'; }

    static bool sameName(const std::string& a, const char* b)
    {
        size_t i = 0;
        for (; i < a.size() && b[i]; ++i)
            if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
                return false;
        return i == a.size() && !b[i];
    }

    // The last line naming `name` wins, as the last of two registry writes would.
    Line* find(const char* name)
    {
        for (auto it = lines.rbegin(); it != lines.rend(); ++it)
            if (!it->name.empty() && sameName(it->name, name))
                return &*it;
        return nullptr;
    }

    static std::string valueOf(const Line& line)
    {
        size_t end = line.text.size();
        while (end > line.valueAt && isBlank(line.text[end - 1]))
            --end;
        return line.text.substr(line.valueAt, end - line.valueAt);
    }

    void parse(const std::string& text)
    {
        for (size_t pos = 0; pos < text.size();) {
            // Lines end in LF, CR LF, or CR alone (as old Mac editors save).
            size_t end = text.find_first_of("\r\n", pos);
            Line line;
            if (end == std::string::npos)
                end = text.size();
            line.text = text.substr(pos, end - pos);
            const size_t endLength = text.compare(end, 2, "\r\n") == 0 ? 2 : end < text.size() ? 1 : 0;
            line.ending = text.substr(end, endLength);
            pos = end + endLength;
            // A byte order mark (editors' "UTF-8 with BOM") stays in the text but is no part of a name.
            size_t first = lines.empty() && line.text.starts_with("\xEF\xBB\xBF") ? 3 : 0;
            while (first < line.text.size() && isBlank(line.text[first]))
                ++first;
            const size_t eq = line.text.find('=');
            if (eq != std::string::npos && eq > first && line.text[first] != '#' && line.text[first] != ';') {
                size_t last = eq;
                while (last > first && isBlank(line.text[last - 1]))
                    --last;
                line.name = line.text.substr(first, last - first);
                line.valueAt = eq + 1;
                while (line.valueAt < line.text.size() && isBlank(line.text[line.valueAt]))
                    ++line.valueAt;
            }
            lines.push_back(std::move(line));
        }
    }

    std::string lineEnding() const
    {
        for (const Line& line : lines)
            if (!line.ending.empty())
                return line.ending;
        return "\n";
    }

    std::string text() const
    {
        std::string out = lines.empty() ? "# Vesiclar settings\n" : "";
        for (const Line& line : lines)
            out += line.text + line.ending;
        return out;
    }
};

SettingsStore::SettingsStore() = default;

SettingsStore::~SettingsStore() { close(); }

bool SettingsStore::open()
{
    close();
    state_ = new State;
    state_->path = settingsStoreFile();
    if (state_->path.empty())
        return false;
    std::string text;
    const FileRead read = readWholeFile(state_->path, text);
    // Absent or unreadable: an empty key, as a freshly created one.
    if (read == FileRead::Read)
        state_->parse(text);
    state_->mustNotReplace = read == FileRead::Unreadable;
    return true;
}

bool SettingsStore::readNumber(const char* name, uint32_t& value) const
{
    if (!state_)
        return false;
    const State::Line* line = state_->find(name);
    if (!line)
        return false;
    const std::string text = State::valueOf(*line);
    // Only a plain decimal that fits 32 bits is a number; anything else is the wrong type.
    if (text.empty() || text.size() > 10)
        return false;
    uint64_t number = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        number = number * 10 + static_cast<uint64_t>(c - '0');
    }
    if (number > 0xffffffffu)
        return false;
    value = static_cast<uint32_t>(number);
    return true;
}

bool SettingsStore::readText(const char* name, std::string& value) const
{
    if (!state_)
        return false;
    const State::Line* line = state_->find(name);
    if (!line)
        return false;
    value = State::valueOf(*line);
    return true;
}

void SettingsStore::writeNumber(const char* name, uint32_t value)
{
    if (!state_)
        return;
    const std::string text = std::to_string(value);
    if (State::Line* line = state_->find(name)) {
        line->text = line->text.substr(0, line->valueAt) + text;
    } else {
        // Added lines end as the file's own do, so an editor does not see mixed line ends.
        const std::string ending = state_->lineEnding();
        if (!state_->lines.empty() && state_->lines.back().ending.empty())
            state_->lines.back().ending = ending;
        state_->lines.push_back({std::string(name) + "=" + text, ending, name, std::strlen(name) + 1});
    }
    state_->dirty = true;
}

bool SettingsStore::close()
{
    if (!state_)
        return false;
    bool ok = true;
    if (state_->dirty) {
        const std::string text = state_->text();
        // Without $XDG_CONFIG_HOME or $HOME the writes have nowhere to go: a failure, not a save.
        ok = !state_->path.empty() && !state_->mustNotReplace && makeFolders(state_->path);
        // A file linked in from elsewhere (a dotfiles folder) is saved where it lives; renaming over
        // the link would cut it off from that copy.
        std::string target = state_->path;
        struct stat st{};
        if (ok && lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
            if (char* real = realpath(target.c_str(), nullptr)) {
                target = real;
                std::free(real);
            }
        }
        const std::string temp = target + ".tmp";
        const int fd = ok ? ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600) : -1;
        ok = fd >= 0;
        if (ok) {
            ok = writeAll(fd, text) && fsync(fd) == 0;
            ok = (::close(fd) == 0) && ok;
            ok = ok && rename(temp.c_str(), target.c_str()) == 0;
            if (!ok)
                unlink(temp.c_str());
        }
    }
    delete state_;
    state_ = nullptr;
    return ok;
}

}  // namespace platform
