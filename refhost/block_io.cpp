#include "refhost/block_io.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <vector>

namespace refhost {

namespace {

// ---- Shared helpers.

bool is_word_char(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return u > 0x20 && u < 0x7F && c != '{' && c != '}' && c != '"';
}

bool is_word(const std::string &s) {
    if (s.empty()) return false;
    for (char c : s)
        if (!is_word_char(c)) return false;
    return true;
}

std::string id_chars(LWID id) {
    std::string s(4, ' ');
    for (int i = 0; i < 4; ++i) s[static_cast<size_t>(i)] = static_cast<char>((id >> (24 - 8 * i)) & 0xFF);
    return s;
}

// The word that names a block in text mode: its token, else its four characters, else
// its value in hexadecimal.
std::string ident_word(const LWBlockIdent *ident) {
    if (ident->token && is_word(ident->token)) return ident->token;
    std::string chars = id_chars(ident->id);
    if (is_word(chars)) return chars;
    char hex[16];
    std::snprintf(hex, sizeof hex, "#%08X", ident->id);
    return hex;
}

// The identifier of the list that a text-mode block name stands for, or 0.
LWID match_word(const LWBlockIdent *list, const std::string &word) {
    if (!list) return 0;
    for (const LWBlockIdent *e = list; e->id != 0; ++e)
        if (ident_word(e) == word) return e->id;
    return 0;
}

bool in_list(const LWBlockIdent *list, LWID id) {
    if (!list || id == 0) return false;
    for (const LWBlockIdent *e = list; e->id != 0; ++e)
        if (e->id == id) return true;
    return false;
}

}  // namespace

// ======================================================================================
// Writers.

class BlockWriter::Impl {
public:
    virtual ~Impl() = default;
    virtual void write(const char *buf, int len) = 0;
    // Integers of `size` bytes, each already widened; `is_signed` picks the text form.
    virtual void write_ints(const long long *vals, int n, int size) = 0;
    virtual void write_floats(const float *vals, int n) = 0;
    virtual void write_str(const char *str) = 0;
    virtual void write_id(const LWBlockIdent *id) = 0;
    virtual void begin(const LWBlockIdent *id) = 0;
    virtual void end() = 0;
    virtual int depth() const = 0;
    virtual std::string bytes() const = 0;
};

namespace {

class BinaryWriter : public BlockWriter::Impl {
public:
    void write(const char *buf, int len) override {
        if (buf && len > 0) out_.append(buf, static_cast<size_t>(len));
    }
    void write_ints(const long long *vals, int n, int size) override {
        for (int i = 0; i < n; ++i) put(static_cast<unsigned long long>(vals[i]), size);
    }
    void write_floats(const float *vals, int n) override {
        for (int i = 0; i < n; ++i) {
            uint32_t bits;
            std::memcpy(&bits, &vals[i], sizeof bits);
            put(bits, 4);
        }
    }
    void write_str(const char *str) override {
        if (str) out_.append(str);
        out_.push_back('\0');
    }
    void write_id(const LWBlockIdent *id) override {
        if (id) put(id->id, 4);
    }
    void begin(const LWBlockIdent *id) override {
        put(id ? id->id : 0, 4);
        open_.push_back(out_.size());
        put(0, 4);  // the size, patched when the block ends
    }
    void end() override {
        if (open_.empty()) return;
        patch(out_, open_.back());
        open_.pop_back();
    }
    int depth() const override { return static_cast<int>(open_.size()); }
    std::string bytes() const override {
        std::string copy = out_;
        for (auto it = open_.rbegin(); it != open_.rend(); ++it) patch(copy, *it);
        return copy;
    }

private:
    void put(unsigned long long v, int size) {
        for (int b = size - 1; b >= 0; --b) out_.push_back(static_cast<char>((v >> (8 * b)) & 0xFF));
    }
    static void patch(std::string &s, size_t at) {
        const uint32_t size = static_cast<uint32_t>(s.size() - (at + 4));
        for (int b = 0; b < 4; ++b) s[at + static_cast<size_t>(b)] = static_cast<char>((size >> (24 - 8 * b)) & 0xFF);
    }

    std::string out_;
    std::vector<size_t> open_;  // offsets of the size words of the open blocks
};

class TextWriter : public BlockWriter::Impl {
public:
    void write(const char *buf, int len) override {
        if (!buf || len <= 0) return;
        std::vector<long long> v(static_cast<size_t>(len));
        for (int i = 0; i < len; ++i) v[static_cast<size_t>(i)] = static_cast<unsigned char>(buf[i]);
        write_ints(v.data(), len, 1);
    }
    void write_ints(const long long *vals, int n, int) override {
        if (n <= 0) return;
        line_start();
        for (int i = 0; i < n; ++i) {
            if (i) out_.push_back(' ');
            out_ += std::to_string(vals[i]);
        }
        out_.push_back('\n');
    }
    void write_floats(const float *vals, int n) override {
        if (n <= 0) return;
        line_start();
        for (int i = 0; i < n; ++i) {
            char num[32];
            // Nine significant digits give every float back exactly.
            std::snprintf(num, sizeof num, "%.9g", static_cast<double>(vals[i]));
            if (i) out_.push_back(' ');
            out_ += num;
        }
        out_.push_back('\n');
    }
    void write_str(const char *str) override {
        line_start();
        out_.push_back('"');
        for (const char *p = str ? str : ""; *p; ++p) {
            const unsigned char c = static_cast<unsigned char>(*p);
            if (c == '"' || c == '\\') {
                out_.push_back('\\');
                out_.push_back(*p);
            } else if (c < 0x20 || c >= 0x7F) {
                char esc[8];
                std::snprintf(esc, sizeof esc, "\\x%02X", c);
                out_ += esc;
            } else {
                out_.push_back(*p);
            }
        }
        out_ += "\"\n";
    }
    void write_id(const LWBlockIdent *id) override {
        if (!id) return;
        line_start();
        out_ += ident_word(id);
        out_.push_back('\n');
    }
    void begin(const LWBlockIdent *id) override {
        const LWBlockIdent none{0, nullptr};
        line_start();
        out_ += "{ " + ident_word(id ? id : &none) + "\n";
        ++depth_;
    }
    void end() override {
        if (depth_ == 0) return;
        --depth_;
        line_start();
        out_ += "}\n";
    }
    int depth() const override { return depth_; }
    std::string bytes() const override {
        std::string copy = out_;
        for (int d = depth_ - 1; d >= 0; --d) copy += std::string(static_cast<size_t>(2 * d), ' ') + "}\n";
        return copy;
    }

private:
    void line_start() { out_.append(static_cast<size_t>(2 * depth_), ' '); }

    std::string out_;
    int depth_ = 0;
};

// Trampolines from the host's C callbacks to the writer.
BlockWriter::Impl *W(void *d) { return static_cast<BlockWriter::Impl *>(d); }

template <class T>
void write_ints_cb(void *d, const T *vals, int n) {
    if (!vals || n <= 0) return;
    std::vector<long long> v(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) v[static_cast<size_t>(i)] = static_cast<long long>(vals[i]);
    W(d)->write_ints(v.data(), n, static_cast<int>(sizeof(T)));
}

void write_cb(void *d, const char *buf, int len) { W(d)->write(buf, len); }
void write_i1_cb(void *d, const char *vals, int n) {
    // Bytes are signed here whatever the platform's char is.
    if (!vals || n <= 0) return;
    std::vector<signed char> v(static_cast<size_t>(n));
    std::memcpy(v.data(), vals, static_cast<size_t>(n));
    write_ints_cb<signed char>(d, v.data(), n);
}
void write_i2_cb(void *d, const short *vals, int n) { write_ints_cb(d, vals, n); }
void write_i4_cb(void *d, const int *vals, int n) { write_ints_cb(d, vals, n); }
void write_u1_cb(void *d, const unsigned char *vals, int n) { write_ints_cb(d, vals, n); }
void write_u2_cb(void *d, const unsigned short *vals, int n) { write_ints_cb(d, vals, n); }
void write_u4_cb(void *d, const unsigned int *vals, int n) { write_ints_cb(d, vals, n); }
void write_fp_cb(void *d, const float *vals, int n) {
    if (vals && n > 0) W(d)->write_floats(vals, n);
}
void write_str_cb(void *d, const char *str) { W(d)->write_str(str); }
void write_id_cb(void *d, const LWBlockIdent *id) { W(d)->write_id(id); }
void begin_blk_cb(void *d, const LWBlockIdent *id, int) { W(d)->begin(id); }
void end_blk_w_cb(void *d) { W(d)->end(); }
int depth_w_cb(void *d) { return W(d)->depth(); }

}  // namespace

BlockWriter::BlockWriter(int io_mode) {
    if (io_mode == LWIO_ASCII)
        impl_ = std::make_unique<TextWriter>();
    else
        impl_ = std::make_unique<BinaryWriter>();
    state_.ioMode = io_mode == LWIO_ASCII ? LWIO_ASCII : LWIO_BINARY;
    state_.writeData = impl_.get();
    state_.write = write_cb;
    state_.writeI1 = write_i1_cb;
    state_.writeI2 = write_i2_cb;
    state_.writeI4 = write_i4_cb;
    state_.writeU1 = write_u1_cb;
    state_.writeU2 = write_u2_cb;
    state_.writeU4 = write_u4_cb;
    state_.writeFP = write_fp_cb;
    state_.writeStr = write_str_cb;
    state_.writeID = write_id_cb;
    state_.beginBlk = begin_blk_cb;
    state_.endBlk = end_blk_w_cb;
    state_.depth = depth_w_cb;
}

BlockWriter::~BlockWriter() = default;

std::string BlockWriter::bytes() const { return impl_->bytes(); }

// ======================================================================================
// Readers.

class BlockReader::Impl {
public:
    virtual ~Impl() = default;
    virtual int read(char *buf, int len) = 0;
    // Reads up to n integers that fit [lo, hi], `size` bytes each in binary data.
    virtual int read_ints(long long *vals, int n, int size, bool is_signed, long long lo, long long hi) = 0;
    virtual int read_floats(float *vals, int n) = 0;
    virtual int read_str(char *buf, int max) = 0;
    virtual LWID read_id(const LWBlockIdent *list) = 0;
    virtual LWID find(const LWBlockIdent *list) = 0;
    virtual void end() = 0;
    virtual int depth() const = 0;
};

namespace {

class BinaryReader : public BlockReader::Impl {
public:
    explicit BinaryReader(std::string data) : data_(std::move(data)) {}

    int read(char *buf, int len) override {
        if (!buf || len <= 0) return 0;
        const size_t n = std::min(static_cast<size_t>(len), left());
        std::memcpy(buf, data_.data() + pos_, n);
        pos_ += n;
        return static_cast<int>(n);
    }
    int read_ints(long long *vals, int n, int size, bool is_signed, long long, long long) override {
        int count = 0;
        for (; count < n && left() >= static_cast<size_t>(size); ++count) {
            unsigned long long v = get(size);
            if (is_signed && size < 8 && (v >> (8 * size - 1)) & 1) {
                // Sign-extend the big-endian value.
                v |= ~0ULL << (8 * size);
            }
            vals[count] = static_cast<long long>(v);
        }
        return count;
    }
    int read_floats(float *vals, int n) override {
        int count = 0;
        for (; count < n && left() >= 4; ++count) {
            const uint32_t bits = static_cast<uint32_t>(get(4));
            std::memcpy(&vals[count], &bits, sizeof bits);
        }
        return count;
    }
    int read_str(char *buf, int max) override {
        if (!buf || max <= 0) return -1;
        buf[0] = '\0';
        const size_t end = current_end();
        const void *nul = std::memchr(data_.data() + pos_, '\0', end - pos_);
        if (!nul) {
            // An unterminated string runs to the end of the block: nothing usable.
            pos_ = end;
            return -1;
        }
        const size_t len = static_cast<size_t>(static_cast<const char *>(nul) - (data_.data() + pos_));
        const size_t kept = std::min(len, static_cast<size_t>(max - 1));
        std::memcpy(buf, data_.data() + pos_, kept);
        buf[kept] = '\0';
        pos_ += len + 1;
        return static_cast<int>(kept) + 1;
    }
    LWID read_id(const LWBlockIdent *list) override {
        if (left() < 4) return 0;
        const LWID id = static_cast<LWID>(get(4));
        return in_list(list, id) ? id : 0;
    }
    LWID find(const LWBlockIdent *list) override {
        const size_t start = pos_;
        const size_t end = current_end();
        // Every step moves past a header of eight bytes, so the search ends.
        while (end - pos_ >= 8) {
            const LWID id = static_cast<LWID>(get(4));
            const size_t size = static_cast<size_t>(get(4));
            const size_t block_end = pos_ + std::min(size, end - pos_);
            if (in_list(list, id)) {
                ends_.push_back(block_end);
                return id;
            }
            pos_ = block_end;
        }
        pos_ = start;
        return 0;
    }
    void end() override {
        if (ends_.empty()) return;
        pos_ = ends_.back();
        ends_.pop_back();
    }
    int depth() const override { return static_cast<int>(ends_.size()); }

private:
    size_t current_end() const { return ends_.empty() ? data_.size() : ends_.back(); }
    size_t left() const { return current_end() - pos_; }
    unsigned long long get(int size) {
        unsigned long long v = 0;
        for (int b = 0; b < size; ++b) v = (v << 8) | static_cast<unsigned char>(data_[pos_++]);
        return v;
    }

    std::string data_;
    size_t pos_ = 0;
    std::vector<size_t> ends_;  // where each open block ends
};

class TextReader : public BlockReader::Impl {
public:
    explicit TextReader(const std::string &data) { tokenize(data); }

    int read(char *buf, int len) override {
        if (!buf || len <= 0) return 0;
        std::vector<long long> v(static_cast<size_t>(len));
        const int n = read_ints(v.data(), len, 1, false, 0, 255);
        for (int i = 0; i < n; ++i) buf[i] = static_cast<char>(static_cast<unsigned char>(v[static_cast<size_t>(i)]));
        return n;
    }
    int read_ints(long long *vals, int n, int, bool, long long lo, long long hi) override {
        int count = 0;
        for (; count < n && at_word(); ++count) {
            const std::string &w = tokens_[pos_].text;
            errno = 0;
            char *stop = nullptr;
            const long long v = std::strtoll(w.c_str(), &stop, 10);
            if (errno != 0 || stop == w.c_str() || *stop != '\0' || v < lo || v > hi) break;
            vals[count] = v;
            ++pos_;
        }
        return count;
    }
    int read_floats(float *vals, int n) override {
        int count = 0;
        for (; count < n && at_word(); ++count) {
            const std::string &w = tokens_[pos_].text;
            char *stop = nullptr;
            const float v = std::strtof(w.c_str(), &stop);
            if (stop == w.c_str() || *stop != '\0') break;
            vals[count] = v;
            ++pos_;
        }
        return count;
    }
    int read_str(char *buf, int max) override {
        if (!buf || max <= 0) return -1;
        buf[0] = '\0';
        if (pos_ >= current_end() || tokens_[pos_].kind != Kind::String) return -1;
        const std::string &s = tokens_[pos_++].text;
        const size_t kept = std::min(s.size(), static_cast<size_t>(max - 1));
        std::memcpy(buf, s.data(), kept);
        buf[kept] = '\0';
        return static_cast<int>(kept) + 1;
    }
    LWID read_id(const LWBlockIdent *list) override {
        if (!at_word()) return 0;
        return match_word(list, tokens_[pos_++].text);
    }
    LWID find(const LWBlockIdent *list) override {
        const size_t end = current_end();
        // Every step moves forward: past a value, or past a whole block to its brace.
        for (size_t i = pos_; i < end;) {
            const Token &t = tokens_[i];
            if (t.kind != Kind::Open) {
                ++i;
                continue;
            }
            if (const LWID id = match_word(list, t.text)) {
                ends_.push_back(t.match);
                pos_ = i + 1;
                return id;
            }
            i = t.match + 1;
        }
        return 0;
    }
    void end() override {
        if (ends_.empty()) return;
        // Step over the closing brace, if the block has one.
        pos_ = std::min(ends_.back() + 1, tokens_.size());
        ends_.pop_back();
    }
    int depth() const override { return static_cast<int>(ends_.size()); }

private:
    enum class Kind { Open, Close, String, Word, Broken };
    struct Token {
        Kind kind;
        std::string text;  // block name, string contents or word
        size_t match = 0;  // Open: index of its closing brace, or the token count
    };

    size_t current_end() const { return ends_.empty() ? tokens_.size() : ends_.back(); }
    bool at_word() const { return pos_ < current_end() && tokens_[pos_].kind == Kind::Word; }

    static int hex_digit(char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }

    void tokenize(const std::string &s) {
        const size_t n = s.size();
        size_t i = 0;
        auto word_at = [&](size_t &k) {
            const size_t from = k;
            while (k < n && is_word_char(s[k])) ++k;
            // Bytes that are neither blank nor printable stand alone as a word.
            if (k == from && k < n && !std::isspace(static_cast<unsigned char>(s[k])) && s[k] != '{' &&
                s[k] != '}' && s[k] != '"')
                ++k;
            return s.substr(from, k - from);
        };
        std::vector<size_t> open;
        while (i < n) {
            const char c = s[i];
            if (std::isspace(static_cast<unsigned char>(c))) {
                ++i;
            } else if (c == '{') {
                ++i;
                while (i < n && (s[i] == ' ' || s[i] == '\t')) ++i;
                open.push_back(tokens_.size());
                std::string name = word_at(i);
                // A name cut off by the end of the data may be the start of another one.
                if (i >= n) name.clear();
                tokens_.push_back({Kind::Open, name, 0});
            } else if (c == '}') {
                ++i;
                if (open.empty()) continue;  // a stray brace outside every block
                tokens_[open.back()].match = tokens_.size();
                open.pop_back();
                tokens_.push_back({Kind::Close, std::string(), 0});
            } else if (c == '"') {
                ++i;
                bool closed = false;
                std::string text = read_quoted(s, i, closed);
                // A string without its closing quote was cut off: it reads as nothing.
                tokens_.push_back({closed ? Kind::String : Kind::Broken, text, 0});
            } else {
                std::string word = word_at(i);
                // Every value the writer puts ends its line; one that ends the data was
                // cut off, and its digits so far would read as another number.
                tokens_.push_back({i < n ? Kind::Word : Kind::Broken, word, 0});
            }
        }
        // Blocks left open end with the data.
        for (size_t k : open) tokens_[k].match = tokens_.size();
    }

    static std::string read_quoted(const std::string &s, size_t &i, bool &closed) {
        std::string out;
        const size_t n = s.size();
        while (i < n && s[i] != '"') {
            if (s[i] != '\\' || i + 1 >= n) {
                out.push_back(s[i++]);
                continue;
            }
            const char e = s[i + 1];
            if (e == 'x' && i + 3 < n && hex_digit(s[i + 2]) >= 0 && hex_digit(s[i + 3]) >= 0) {
                out.push_back(static_cast<char>(hex_digit(s[i + 2]) * 16 + hex_digit(s[i + 3])));
                i += 4;
            } else {
                out.push_back(e == 'n' ? '\n' : e == 't' ? '\t' : e);
                i += 2;
            }
        }
        closed = i < n;
        if (closed) ++i;  // the closing quote
        return out;
    }

    std::vector<Token> tokens_;
    size_t pos_ = 0;
    std::vector<size_t> ends_;  // the closing-brace index of each open block
};

BlockReader::Impl *R(void *d) { return static_cast<BlockReader::Impl *>(d); }

template <class T>
int read_ints_cb(void *d, T *vals, int n) {
    if (!vals || n <= 0) return 0;
    std::vector<long long> v(static_cast<size_t>(n));
    const long long lo = static_cast<long long>(std::numeric_limits<T>::min());
    const long long hi = static_cast<long long>(std::numeric_limits<T>::max());
    const int got = R(d)->read_ints(v.data(), n, static_cast<int>(sizeof(T)), std::numeric_limits<T>::is_signed, lo, hi);
    for (int i = 0; i < got; ++i) vals[i] = static_cast<T>(v[static_cast<size_t>(i)]);
    return got;
}

int read_cb(void *d, char *buf, int len) { return R(d)->read(buf, len); }
int read_i1_cb(void *d, char *vals, int n) {
    if (!vals || n <= 0) return 0;
    std::vector<signed char> v(static_cast<size_t>(n));
    const int got = read_ints_cb<signed char>(d, v.data(), n);
    std::memcpy(vals, v.data(), static_cast<size_t>(got));
    return got;
}
int read_i2_cb(void *d, short *vals, int n) { return read_ints_cb(d, vals, n); }
int read_i4_cb(void *d, int *vals, int n) { return read_ints_cb(d, vals, n); }
int read_u1_cb(void *d, unsigned char *vals, int n) { return read_ints_cb(d, vals, n); }
int read_u2_cb(void *d, unsigned short *vals, int n) { return read_ints_cb(d, vals, n); }
int read_u4_cb(void *d, unsigned int *vals, int n) { return read_ints_cb(d, vals, n); }
int read_fp_cb(void *d, float *vals, int n) {
    if (!vals || n <= 0) return 0;
    return R(d)->read_floats(vals, n);
}
int read_str_cb(void *d, char *buf, int max) { return R(d)->read_str(buf, max); }
LWID read_id_cb(void *d, const LWBlockIdent *list) { return R(d)->read_id(list); }
LWID find_blk_cb(void *d, const LWBlockIdent *list) { return R(d)->find(list); }
void end_blk_r_cb(void *d) { R(d)->end(); }
int depth_r_cb(void *d) { return R(d)->depth(); }

}  // namespace

BlockReader::BlockReader(int io_mode, std::string data) {
    if (io_mode == LWIO_ASCII)
        impl_ = std::make_unique<TextReader>(data);
    else
        impl_ = std::make_unique<BinaryReader>(std::move(data));
    state_.ioMode = io_mode == LWIO_ASCII ? LWIO_ASCII : LWIO_BINARY;
    state_.readData = impl_.get();
    state_.read = read_cb;
    state_.readI1 = read_i1_cb;
    state_.readI2 = read_i2_cb;
    state_.readI4 = read_i4_cb;
    state_.readU1 = read_u1_cb;
    state_.readU2 = read_u2_cb;
    state_.readU4 = read_u4_cb;
    state_.readFP = read_fp_cb;
    state_.readStr = read_str_cb;
    state_.readID = read_id_cb;
    state_.findBlk = find_blk_cb;
    state_.endBlk = end_blk_r_cb;
    state_.depth = depth_r_cb;
}

BlockReader::~BlockReader() = default;

// ======================================================================================
// Files.

bool write_file(const std::string &path, const std::string &bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

bool read_file(const std::string &path, std::string &out) {
    out.clear();
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

}  // namespace refhost
