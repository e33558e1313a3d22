// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// Whether a text is one JSON value (RFC 8259) and a final line feed: a
// plain recursive reader for the fuzz targets, which have no other parser.
#pragma once

#include <cctype>
#include <cstring>
#include <string_view>

class json_reader {
public:
    explicit json_reader(std::string_view text) : text_(text) {}
    bool whole() { return value(0) && text_.substr(at_) == "\n"; }

private:
    bool next(std::string_view word) {
        const bool there = text_.substr(at_).starts_with(word);
        at_ += there ? word.size() : 0;
        return there;
    }
    bool any_of(const char* set) {
        const bool there = at_ < text_.size() && text_[at_] != '\0' && std::strchr(set, text_[at_]);
        at_ += there ? 1 : 0;
        return there;
    }
    bool digits() {
        const std::size_t from = at_;
        while (any_of("0123456789")) {
        }
        return at_ > from;
    }
    bool number() {
        next("-");
        return (next("0") || digits()) && (!next(".") || digits()) &&
               (!any_of("eE") || (any_of("+-"), digits()));
    }
    bool string() {
        if (!next("\"")) {
            return false;
        }
        while (at_ < text_.size() && static_cast<unsigned char>(text_[at_]) >= 0x20) {
            if (next("\"")) {
                return true;
            }
            if (next("\\u")) {
                for (int i = 0; i < 4; ++i) {
                    if (!any_of("0123456789abcdefABCDEF")) {
                        return false;
                    }
                }
            } else if (next("\\")) {
                if (!any_of("\"\\/bfnrt")) {
                    return false;
                }
            } else {
                ++at_;
            }
        }
        return false;
    }
    template <typename Item>
    bool sequence(const char* close, Item item) {
        if (next(close)) {
            return true;
        }
        do {
            if (!item()) {
                return false;
            }
        } while (next(","));
        return next(close);
    }
    bool value(int depth) {
        if (depth > 64) {
            return false;
        }
        if (next("{")) {
            return sequence("}", [&] { return string() && next(":") && value(depth + 1); });
        }
        if (next("[")) {
            return sequence("]", [&] { return value(depth + 1); });
        }
        return string() || next("true") || next("false") || next("null") || number();
    }

    std::string_view text_;
    std::size_t at_ = 0;
};
