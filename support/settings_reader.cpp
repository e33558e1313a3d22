// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors

#include "settings_reader.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

namespace {

char ascii_lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool is_c_space(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Where `c` stands first (`last`: last) in `text`. memchr and memrchr, not
// find and rfind: a long value is scanned many bytes at a time.
std::optional<std::size_t> find(std::string_view text, char c, bool last = false) {
    const void* found =
        last ? ::memrchr(text.data(), c, text.size()) : std::memchr(text.data(), c, text.size());
    if (found == nullptr) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(static_cast<const char*>(found) - text.data());
}

// The value of an ordinary key on one piece that begins with its name and
// "=", by the rules of the header. The name holds nothing that cuts, so the
// cuts leave it and its "=" whole.
std::string_view value_on_piece(std::string_view piece, std::size_t name_size) {
    std::string_view text = piece.substr(0, piece.find('\0'));
    text = text.substr(0, text.find('\r'));
    text = text.substr(0, text.find('\n'));
    text = text.substr(0, find(text, '"', true).value_or(text.size()));
    auto value = text.substr(name_size + 1);
    if (!value.empty() && value.front() == '"') {
        value.remove_prefix(1);
    }
    return value;
}

// One pass over the file. Pieces always lie whole in the buffer: before
// each, the buffer is refilled until it holds a whole piece or the rest of
// the file.
class scan {
public:
    scan(const settings_file& file, std::span<const settings_key> keys,
         std::span<settings_value> values, const settings_line_observer& observe)
        : file_(file),
          keys_(keys),
          values_(values),
          observe_(observe),
          // A small file needs no more than its size: fewer fresh pages.
          buffer_size_(static_cast<std::size_t>(std::clamp<off_t>(
              file.status.st_size + 1, 1, static_cast<off_t>(settings_buffer_size)))),
          buffer_(std::make_unique_for_overwrite<char[]>(buffer_size_)) {
        for (const settings_key& key : keys_) {
            name_max_ = std::max(name_max_, key.name.size());
        }
        start_line(1);
    }

    int run() {
        for (;;) {
            if (const int error = fill(); error != 0) {
                return error;
            }
            if (begin_ == end_) {
                if (line_.length != 0) {
                    end_line();
                }
                return 0;
            }
            const std::string_view rest(buffer_.get() + begin_, end_ - begin_);
            const std::string_view window = rest.substr(0, settings_piece_max);
            const auto line_feed = find(window, '\n');
            const std::string_view piece =
                window.substr(0, line_feed ? *line_feed + 1 : window.size());
            take_piece(piece, line_feed.has_value());
            begin_ += piece.size();
            if (line_feed) {
                end_line();
            }
        }
    }

private:
    // Reads on until the buffer holds a whole piece or the rest of the file.
    int fill() {
        while (end_ - begin_ < settings_piece_max && !at_end_) {
            if (end_ == buffer_size_) {
                std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
                buffer_offset_ += begin_;
                end_ -= begin_;
                begin_ = 0;
            }
            const ssize_t got = ::pread(file_.fd.get(), buffer_.get() + end_, buffer_size_ - end_,
                                        static_cast<off_t>(buffer_offset_ + end_));
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got < 0) {
                return errno;
            }
            at_end_ = got == 0;
            end_ += static_cast<std::size_t>(got);
        }
        return 0;
    }

    // The key whose name and "=" begin `text`, if any.
    std::optional<std::size_t> key_at_start(std::string_view text, bool whole_line) const {
        const auto equals = find(text.substr(0, name_max_ + 1), '=');
        if (!equals) {
            return std::nullopt;
        }
        const std::string_view name = text.substr(0, *equals);
        for (std::size_t i = 0; i < keys_.size(); ++i) {
            if (keys_[i].whole_line == whole_line && settings_name_is(name, keys_[i].name)) {
                return i;
            }
        }
        return std::nullopt;
    }

    void take_piece(std::string_view piece, bool ends_line) {
        const bool first_piece = line_.length == 0;
        const auto key = key_at_start(piece, false);
        if (key) {
            settings_value& value = values_[*key];
            const bool first = !value.found;
            if (first) {
                value.found = true;
                value.line = line_.number;
                value.text = value_on_piece(piece, keys_[*key].name.size());
            }
            if (first_piece) {
                line_.key = key;
                line_.first = first;
            }
        }
        const std::string_view body = piece.substr(0, piece.size() - (ends_line ? 1 : 0));
        if (first_piece) {
            line_.offset = buffer_offset_ + begin_;
            head_.assign(body.substr(0, settings_head_max));
            whole_line_key_ = key_at_start(head_, true);
            tracked_ = whole_line_key_.has_value() || static_cast<bool>(observe_);
        }
        if (tracked_ && !cut_) {
            note_cut_and_quote(body);
        }
        line_.length += body.size();
        if (first_piece) {
            line_.piece_text_end = cut_ ? line_.text_end : line_.length;
            line_.piece_last_quote = line_.last_quote;
        }
    }

    // Where a carriage return or zero byte first cuts the line, and its last
    // quote before that: the facts that place a whole line's value.
    void note_cut_and_quote(std::string_view body) {
        const auto zero = find(body, '\0');
        const auto carriage_return = find(body.substr(0, zero.value_or(body.size())), '\r');
        const std::size_t text_size = carriage_return.value_or(zero.value_or(body.size()));
        if (const auto quote = find(body.substr(0, text_size), '"', true)) {
            line_.last_quote = line_.length + *quote;
        }
        if (text_size < body.size()) {
            cut_ = true;
            line_.text_end = line_.length + text_size;
            line_.cut_by = body[text_size];
        }
    }

    void end_line() {
        if (!cut_) {
            line_.text_end = line_.length;
        }
        if (whole_line_key_) {
            place_value(*whole_line_key_);
        }
        if (observe_) {
            line_.head = head_;
            observe_(line_);
        }
        start_line(line_.number + 1);
    }

    void start_line(std::uint64_t number) {
        line_ = settings_line();
        line_.number = number;
        whole_line_key_.reset();
        cut_ = false;
    }

    // The name holds nothing that cuts: the value starts before any cut.
    void place_value(std::size_t key) {
        const std::uint64_t cut = line_.last_quote.value_or(line_.text_end);
        std::uint64_t start = keys_[key].name.size() + 1;
        settings_value& value = values_[key];
        const bool first = !value.found;
        line_.key = key;
        line_.first = first;
        if (!first) {
            return;
        }
        // `start` lies within the key's name and its '=', which the head holds.
        if (start < cut && head_[static_cast<std::size_t>(start)] == '"') {
            ++start;
        }
        value.found = true;
        value.line = line_.number;
        value.place = {line_.offset + start, cut > start ? cut - start : 0};
    }

    const settings_file& file_;
    std::span<const settings_key> keys_;
    std::span<settings_value> values_;
    const settings_line_observer& observe_;
    std::size_t name_max_ = 0;

    // Not zero-filled: only what was read is ever looked at.
    std::size_t buffer_size_;
    std::unique_ptr<char[]> buffer_;
    std::uint64_t buffer_offset_ = 0;  // of buffer_[0] in the file
    std::size_t begin_ = 0;            // the first byte not yet taken
    std::size_t end_ = 0;              // the end of what was read
    bool at_end_ = false;

    settings_line line_;
    std::string head_;
    std::optional<std::size_t> whole_line_key_;
    bool tracked_ = false;  // the line's cut and quote are wanted
    bool cut_ = false;      // a carriage return or zero byte was met
};

}  // namespace

bool settings_name_is(std::string_view name, std::string_view key) {
    return std::equal(name.begin(), name.end(), key.begin(), key.end(),
                      [](char a, char b) { return ascii_lower(a) == ascii_lower(b); });
}

std::string settings_status_text(const settings_status& status) {
    return status.verdict == settings_verdict::not_regular ? "not a regular file"
           : status.verdict == settings_verdict::changed   ? "it changed while it was read"
                                                           : std::strerror(status.error);
}

settings_status settings_open(const char* path, settings_file& file) {
    // Looked at before it is opened: opening a device can act (a watchdog
    // starts counting), and a FIFO would wait for a writer.
    const unique_fd look(::open(path, O_PATH | O_CLOEXEC));
    if (!look || ::fstat(look.get(), &file.status) != 0) {
        return {settings_verdict::failed, errno};
    }
    if (!S_ISREG(file.status.st_mode)) {
        return {settings_verdict::not_regular};
    }
    // The file looked at, opened again through /proc; where there is no
    // /proc, by its path, which must still lead to it.
    unique_fd fd(::open(("/proc/self/fd/" + std::to_string(look.get())).c_str(),
                        O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd && errno == ENOENT) {
        fd = unique_fd(::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    }
    struct stat status {};
    if (!fd || ::fstat(fd.get(), &status) != 0) {
        return {settings_verdict::failed, errno};
    }
    if (status.st_dev != file.status.st_dev || status.st_ino != file.status.st_ino) {
        return {settings_verdict::changed};
    }
    file.fd = std::move(fd);
    return {};
}

int settings_scan(const settings_file& file, std::span<const settings_key> keys,
                  std::span<settings_value> values, const settings_line_observer& observe) {
    return scan(file, keys, values, observe).run();
}

settings_status settings_read_place(const settings_file& file, settings_place place,
                                    const std::function<bool(std::string_view)>& take) {
    // Places are 64-bit on every machine; a read is at most the buffer.
    const auto size =
        static_cast<std::size_t>(std::min<std::uint64_t>(place.length, settings_buffer_size));
    const auto buffer = std::make_unique_for_overwrite<char[]>(size);
    std::uint64_t at = place.offset;
    const std::uint64_t end = place.offset + place.length;
    bool more = true;
    while (more && at < end) {
        const ssize_t got =
            ::pread(file.fd.get(), buffer.get(),
                    static_cast<std::size_t>(std::min<std::uint64_t>(size, end - at)),
                    static_cast<off_t>(at));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return {settings_verdict::failed, errno};
        }
        if (got == 0) {
            return {settings_verdict::changed};  // cut short
        }
        more = take({buffer.get(), static_cast<std::size_t>(got)});
        at += static_cast<std::uint64_t>(got);
    }
    struct stat now {};
    if (::fstat(file.fd.get(), &now) != 0) {
        return {settings_verdict::failed, errno};
    }
    // Size and modification time: what a write in place changes (not the
    // change time: a file renamed over loses a link, which sets it).
    const struct stat& then = file.status;
    return {now.st_size == then.st_size && now.st_mtim.tv_sec == then.st_mtim.tv_sec &&
                    now.st_mtim.tv_nsec == then.st_mtim.tv_nsec
                ? settings_verdict::ok
                : settings_verdict::changed};
}

std::uint32_t parse_setting_uint(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && is_c_space(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    constexpr std::uint64_t too_large = std::uint64_t{UINT32_MAX} + 1;
    std::uint64_t magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        magnitude = std::min(magnitude * 10 + static_cast<unsigned>(text[i] - '0'), too_large);
    }
    if (magnitude >= too_large) {
        return UINT32_MAX;
    }
    const auto number = static_cast<std::uint32_t>(magnitude);
    return negative ? static_cast<std::uint32_t>(0U - number) : number;
}
