// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// Whether a text is one JSON value (RFC 8259), nothing around it but a
// final line feed: a plain recursive reader for the fuzz targets, which
// know no other parser.
#pragma once

#include <cctype>
#include <cstring>
#include <string_view>

class json_reader {
public:
    explicit json_reader(std::string_view text) : text_(text) {}

    bool whole() { return value(0) && (rest() == "\n" || rest().empty()); }

private:
    std::string_view rest() const { return text_.substr(at_); }
    bool next(char c) {
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }
    bool word(std::string_view w) {
        if (!rest().starts_with(w)) {
            return false;
        }
        at_ += w.size();
        return true;
    }
    bool digits() {
        const std::size_t from = at_;
        while (at_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[at_])) != 0) {
            ++at_;
        }
        return at_ > from;
    }
    bool number() {
        next('-');
        if (!next('0') && !digits()) {
            return false;
        }
        if (next('.') && !digits()) {
            return false;
        }
        if (next('e') || next('E')) {
            next('+') || next('-');
            return digits();
        }
        return true;
    }
    bool string() {
        if (!next('"')) {
            return false;
        }
        while (at_ < text_.size()) {
            const auto c = static_cast<unsigned char>(text_[at_++]);
            if (c == '"') {
                return true;
            }
            if (c < 0x20) {
                return false;
            }
            if (c == '\\') {
                if (word("u")) {
                    for (int i = 0; i < 4; ++i) {
                        if (at_ >= text_.size() ||
                            std::isxdigit(static_cast<unsigned char>(text_[at_++])) == 0) {
                            return false;
                        }
                    }
                } else if (at_ >= text_.size() ||
                           std::strchr("\"\\/bfnrt", text_[at_++]) == nullptr) {
                    return false;
                }
            }
        }
        return false;
    }
    template <typename Item>
    bool sequence(char close, Item item) {
        if (next(close)) {
            return true;
        }
        do {
            if (!item()) {
                return false;
            }
        } while (next(','));
        return next(close);
    }
    bool value(int depth) {
        if (depth > 64) {
            return false;
        }
        if (next('{')) {
            return sequence('}', [&] { return string() && next(':') && value(depth + 1); });
        }
        if (next('[')) {
            return sequence(']', [&] { return value(depth + 1); });
        }
        return string() || word("true") || word("false") || word("null") || number();
    }

    std::string_view text_;
    std::size_t at_ = 0;
};
