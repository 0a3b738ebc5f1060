// Vt100.h - a small model of an 80 x 24 vt100 screen for tests: it takes the bytes a
// program sent to the terminal and keeps what the screen shows. Understood: printable
// characters with automatic margins (a full row wraps on the next character), CR,
// LF (scrolling at the bottom), form feed as LF, backspace, ESC [ H, ESC [ r ; c H,
// ESC [ J, ESC [ K and ESC [ 3 J; other escape sequences are dropped.
#pragma once
#include <algorithm>
#include <string>
#include <vector>

namespace menutest {

class Vt100 {
public:
    explicit Vt100(int columns = 80, int lines = 24)
        : columns_(columns), lines_(lines), rows_(lines, std::string(columns, ' ')) {}

    void Feed(const std::string &bytes) {
        for (size_t i = 0; i < bytes.size(); ++i) {
            char c = bytes[i];
            if (c == '\033') {
                i = Escape(bytes, i);
                continue;
            }
            Put(c);
        }
    }
    const std::string &Row(int line) const { return rows_[line]; }  // from 0
    std::string Trimmed(int line) const {
        std::string r = rows_[line];
        return r.erase(r.find_last_not_of(' ') + 1);
    }
    int CursorX() const { return x_; }
    int CursorY() const { return y_; }
    std::string Dump() const {
        std::string all;
        for (int i = 0; i < lines_; ++i)
            all += Trimmed(i) + "\n";
        return all;
    }

private:
    void LineFeed() {
        if (y_ == lines_ - 1) {
            rows_.erase(rows_.begin());
            rows_.push_back(std::string(columns_, ' '));
        } else {
            ++y_;
        }
    }
    void Put(char c) {
        switch (c) {
        case '\r':
            x_ = 0;
            wrap_ = false;
            return;
        case '\n':
        case '\f':
            // The terminal driver turns a line feed into CR LF on output.
            x_ = 0;
            wrap_ = false;
            LineFeed();
            return;
        case '\b':
            if (x_ > 0)
                --x_;
            wrap_ = false;
            return;
        case '\0':
        case '\a':
            return;
        default:
            break;
        }
        if (wrap_) {
            x_ = 0;
            LineFeed();
            wrap_ = false;
        }
        rows_[y_][x_] = c;
        if (x_ == columns_ - 1)
            wrap_ = true;
        else
            ++x_;
    }
    size_t Escape(const std::string &b, size_t i) {
        if (i + 1 >= b.size() || b[i + 1] != '[')
            return i + 1;
        size_t j = i + 2;
        std::vector<int> args(1, 0);
        while (j < b.size() && ((b[j] >= '0' && b[j] <= '9') || b[j] == ';' || b[j] == '?')) {
            if (b[j] == ';')
                args.push_back(0);
            else if (b[j] != '?')
                args.back() = args.back() * 10 + (b[j] - '0');
            ++j;
        }
        if (j >= b.size())
            return j;
        wrap_ = false;
        switch (b[j]) {
        case 'H':
            y_ = std::max(1, args[0]) - 1;
            x_ = args.size() > 1 ? std::max(1, args[1]) - 1 : 0;
            if (y_ >= lines_)
                y_ = lines_ - 1;
            if (x_ >= columns_)
                x_ = columns_ - 1;
            break;
        case 'J':
            if (args[0] == 0) {
                rows_[y_].replace(x_, columns_ - x_, columns_ - x_, ' ');
                for (int r = y_ + 1; r < lines_; ++r)
                    rows_[r] = std::string(columns_, ' ');
            } else if (args[0] == 2) {
                for (auto &r : rows_)
                    r = std::string(columns_, ' ');
            }
            break;
        case 'K':
            rows_[y_].replace(x_, columns_ - x_, columns_ - x_, ' ');
            break;
        default:
            break;
        }
        return j;
    }
    int columns_, lines_;
    std::vector<std::string> rows_;
    int x_ = 0, y_ = 0;
    bool wrap_ = false;
};

}  // namespace menutest
