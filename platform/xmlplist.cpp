#include "platform/xmlplist.h"

#include "platform/plistio.h"

#include <QVariantList>
#include <QVariantMap>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>

namespace zarvo::plist {
namespace {

// Deeper trees are left to the general parser.
constexpr int kMaxDepth = 32;
// Decimal integers of up to this many digits fit a qint64 whatever they are.
constexpr int kMaxIntegerDigits = 18;
// String values up to this length are shared between all their occurrences.
constexpr size_t kMaxSharedValueLength = 8;

// Whether one of the eight bytes of WORD may be below 0x20 or an ampersand;
// never false when one is. (The bit tricks of "Bit Twiddling Hacks": a byte
// below N, a byte equal to zero after XOR with the ampersand.)
constexpr bool mayHoldControlOrAmpersand(quint64 word)
{
    constexpr quint64 kOnes = 0x0101010101010101ULL;
    constexpr quint64 kHighBits = 0x8080808080808080ULL;
    const quint64 below = (word - kOnes * 0x20) & ~word & kHighBits;
    const quint64 xored = word ^ (kOnes * quint64('&'));
    const quint64 ampersand = (xored - kOnes) & ~xored & kHighBits;
    return (below | ampersand) != 0;
}

// Which texts share one QString between their occurrences: none, short ones
// (values like "0" and "1"), or all (the keys of the entries).
enum class Sharing { None, Short, All };

// One pass over the bytes. Every function answers false as soon as the text
// leaves the subset; the reader is then done.
class Reader final {
public:
    explicit Reader(QByteArrayView bytes)
        : begin_(bytes.data()), p_(bytes.data()), end_(bytes.data() + bytes.size())
    {
    }

    // Up to and including the <plist> tag: the declaration and the document
    // type as the writers put them, or none.
    bool prolog()
    {
        take("<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
        skipSpace();
        take("<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
             "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">");
        skipSpace();
        return take("<plist>") || take("<plist version=\"1.0\">");
    }

    // From after the root value to the end of the bytes.
    bool epilog()
    {
        skipSpace();
        if (!take("</plist>")) {
            return false;
        }
        skipSpace();
        return p_ == end_;
    }

    // One value. OUT null: checked and skipped, nothing built.
    bool value(QVariant* out, int depth)
    {
        if (depth > kMaxDepth) {
            return false;
        }
        skipSpace();
        if (take("<dict>")) {
            return dictionary(out, depth);
        }
        if (take("<string>")) {
            return string(out);
        }
        if (take("<array>")) {
            return array(out, depth);
        }
        // Values written as one empty element.
        const auto give = [out](QVariant constant) {
            if (out) {
                *out = std::move(constant);
            }
            return true;
        };
        if (take("<true/>")) {
            return give(true);
        }
        if (take("<false/>")) {
            return give(false);
        }
        if (take("<integer>")) {
            return integer(out);
        }
        if (take("<string/>")) {
            return give(QString());
        }
        if (take("<dict/>")) {
            return give(QVariantMap());
        }
        if (take("<array/>")) {
            return give(QVariantList());
        }
        return false;
    }

    // The root dictionary's keys, its values checked and skipped.
    // SPANS, if given, gets where each key's value lies.
    bool rootKeys(QStringList* keys, QList<ValueSpan>* spans)
    {
        skipSpace();
        if (take("<dict/>")) {
            return true;
        }
        if (!take("<dict>")) {
            return false;
        }
        while (true) {
            skipSpace();
            if (take("</dict>")) {
                return true;
            }
            QString key;
            if (!take("<key>") || !text(&key, nullptr) || !take("</key>")) {
                return false;
            }
            skipSpace();
            const qsizetype begin = offset();
            if (!value(nullptr, 1)) {
                return false;
            }
            keys->append(key);
            if (spans) {
                spans->append({begin, offset()});
            }
        }
    }

    // One value making up the whole of the bytes.
    bool fragment(QVariant* out) { return value(out, 1) && (skipSpace(), p_ == end_); }

    // The value under KEY (UTF-8) of the root dictionary; the others skipped.
    bool rootValue(const QByteArray& key, std::optional<QVariant>* found)
    {
        skipSpace();
        if (take("<dict/>")) {
            return true;
        }
        if (!take("<dict>")) {
            return false;
        }
        while (true) {
            skipSpace();
            if (take("</dict>")) {
                return true;
            }
            QByteArray decoded;
            if (!take("<key>") || !text(nullptr, &decoded) || !take("</key>")) {
                return false;
            }
            if (decoded == key) {
                if (found->has_value()) {
                    return false; // a repeated key
                }
                QVariant v;
                if (!value(&v, 1)) {
                    return false;
                }
                *found = std::move(v);
            } else if (!value(nullptr, 1)) {
                return false;
            }
        }
    }

private:
    bool dictionary(QVariant* out, int depth)
    {
        QVariantMap map;
        QString largest;
        while (true) {
            skipSpace();
            if (take("</dict>")) {
                break;
            }
            QString key;
            if (!take("<key>") ||
                !text(out ? &key : nullptr, nullptr, depth > 0 ? Sharing::All : Sharing::None) ||
                !take("</key>")) {
                return false;
            }
            QVariant item;
            if (!value(out ? &item : nullptr, depth + 1)) {
                return false;
            }
            if (!out) {
                continue;
            }
            // The files are written in key order: most keys go at the end.
            if (map.isEmpty() || largest < key) {
                map.insert(map.cend(), key, item);
                largest = key;
            } else if (map.contains(key)) {
                return false;
            } else {
                map.insert(key, item);
            }
        }
        if (out) {
            *out = std::move(map);
        }
        return true;
    }

    bool array(QVariant* out, int depth)
    {
        QVariantList list;
        while (true) {
            skipSpace();
            if (take("</array>")) {
                break;
            }
            QVariant item;
            if (!value(out ? &item : nullptr, depth + 1)) {
                return false;
            }
            if (out) {
                list.append(std::move(item));
            }
        }
        if (out) {
            *out = std::move(list);
        }
        return true;
    }

    bool string(QVariant* out)
    {
        QString s;
        if (!text(out ? &s : nullptr, nullptr, Sharing::Short) || !take("</string>")) {
            return false;
        }
        if (out) {
            *out = std::move(s);
        }
        return true;
    }

    bool integer(QVariant* out)
    {
        const char* start = p_;
        const bool negative = p_ < end_ && *p_ == '-';
        if (negative) {
            ++p_;
        }
        const char* digits = p_;
        while (p_ < end_ && *p_ >= '0' && *p_ <= '9') {
            ++p_;
        }
        const qsizetype count = p_ - digits;
        qint64 n = 0;
        for (const char* d = digits; d < p_ && count <= kMaxIntegerDigits; ++d) {
            n = n * 10 + (*d - '0');
        }
        // "0" alone, or digits without a leading zero; no "-0".
        if (count == 0 || count > kMaxIntegerDigits || (digits[0] == '0' && count > 1) ||
            (negative && n == 0) || !take("</integer>")) {
            p_ = start;
            return false;
        }
        if (out) {
            *out = negative ? -n : n;
        }
        return true;
    }

    // Text up to the next '<'. Builds OUT (a QString) or DECODED (the UTF-8
    // bytes with the entities replaced), either, or neither.
    bool text(QString* out, QByteArray* decoded, Sharing sharing = Sharing::None)
    {
        const char* start = p_;
        const char* stop = static_cast<const char*>(std::memchr(p_, '<', size_t(end_ - p_)));
        if (!stop) {
            return false;
        }
        // Carriage returns and control characters end the reading; an
        // ampersand starts an entity. Eight bytes are looked at a time,
        // one by one only where one of them may be either.
        bool entities = false;
        const char* c = start;
        for (; stop - c >= 8; c += 8) {
            quint64 word;
            std::memcpy(&word, c, sizeof word);
            if (mayHoldControlOrAmpersand(word) && !checkBytes(c, c + 8, &entities)) {
                return false;
            }
        }
        if (!checkBytes(c, stop, &entities)) {
            return false;
        }
        p_ = stop;
        // Most texts of a skipped value end here.
        if (!out && !decoded && !entities) {
            return true;
        }
        return buildText(start, stop, entities, out, decoded, sharing);
    }

    static bool checkBytes(const char* from, const char* to, bool* entities)
    {
        for (const char* c = from; c < to; ++c) {
            const auto u = static_cast<unsigned char>(*c);
            if (u < 0x20 && u != '\t' && u != '\n') {
                return false;
            }
            *entities |= u == '&';
        }
        return true;
    }

    // The text from START to STOP decoded, as text() describes.
    Q_NEVER_INLINE bool buildText(const char* start, const char* stop, bool entities, QString* out,
                                  QByteArray* decoded, Sharing sharing)
    {
        QByteArray bytes;
        std::string_view raw(start, size_t(stop - start));
        if (entities) {
            bytes.reserve(qsizetype(raw.size()));
            for (size_t i = 0; i < raw.size(); ++i) {
                if (raw[i] != '&') {
                    bytes.append(raw[i]);
                    continue;
                }
                const std::string_view rest = raw.substr(i);
                static constexpr std::pair<std::string_view, char> kEntities[] = {{"&amp;", '&'},
                                                                                  {"&lt;", '<'},
                                                                                  {"&gt;", '>'},
                                                                                  {"&quot;", '"'},
                                                                                  {"&apos;", '\''}};
                bool known = false;
                for (const auto& [name, c] : kEntities) {
                    if (rest.substr(0, name.size()) == name) {
                        bytes.append(c);
                        i += name.size() - 1;
                        known = true;
                        break;
                    }
                }
                if (!known) {
                    return false; // numeric references and unknown entities
                }
            }
            raw = std::string_view(bytes.constData(), size_t(bytes.size()));
        }
        if (decoded) {
            *decoded = entities ? bytes : QByteArray(raw.data(), qsizetype(raw.size()));
        }
        if (!out) {
            return true;
        }
        // Only views into the document may be remembered.
        if (!entities && (sharing == Sharing::All ||
                          (sharing == Sharing::Short && raw.size() <= kMaxSharedValueLength))) {
            auto it = shared_.find(raw);
            if (it == shared_.end()) {
                it = shared_.emplace(raw, QString::fromUtf8(raw.data(), qsizetype(raw.size())))
                         .first;
            }
            *out = it->second;
        } else {
            *out = QString::fromUtf8(raw.data(), qsizetype(raw.size()));
        }
        return true;
    }

    qsizetype offset() const { return p_ - begin_; }

    void skipSpace()
    {
        while (p_ < end_ && (*p_ == ' ' || *p_ == '\n' || *p_ == '\t')) {
            ++p_;
        }
    }

    template <size_t N> bool take(const char (&literal)[N])
    {
        constexpr size_t length = N - 1;
        if (size_t(end_ - p_) < length || std::memcmp(p_, literal, length) != 0) {
            return false;
        }
        p_ += length;
        return true;
    }

    const char* begin_;
    const char* p_;
    const char* end_;
    // Views into the bytes being read, which outlive the reader.
    std::unordered_map<std::string_view, QString> shared_;
};

// Whether the integer element whose tag's name ends at FROM holds a value of
// 64 bits, signed or unsigned, as the general parser reads it (strtoll or
// strtoull, in any base they know): it reads larger ones as the largest
// that fit, which a rewrite would then store.
bool integerFits(const char* from, const char* end)
{
    const char* open = static_cast<const char*>(std::memchr(from, '>', size_t(end - from)));
    if (!open || open[-1] == '/') {
        return true;
    }
    const char* close = static_cast<const char*>(std::memchr(open, '<', size_t(end - open)));
    std::string text(open + 1, close ? close : end);
    const size_t first = text.find_first_not_of(" \t\r\n");
    const bool negative = first != std::string::npos && text[first] == '-';
    errno = 0;
    if (negative) {
        std::strtoll(text.c_str(), nullptr, 0);
    } else {
        std::strtoull(text.c_str(), nullptr, 0);
    }
    return errno != ERANGE;
}

} // namespace

bool fitsGeneralXmlParser(QByteArrayView bytes)
{
    const char* p = bytes.data();
    const char* const end = p + bytes.size();
    if (std::memchr(p, 0, size_t(bytes.size()))) {
        return false;
    }
    // Where WHAT starts at or after FROM; null when it does not.
    const auto find = [end](const char* from, std::string_view what) -> const char* {
        const std::string_view rest(from, size_t(end - from));
        const size_t at = rest.find(what);
        return at == std::string_view::npos ? nullptr : from + at;
    };
    const auto startsWith = [end](const char* at, std::string_view what) {
        return size_t(end - at) >= what.size() && std::memcmp(at, what.data(), what.size()) == 0;
    };
    // Past the text that hidden markup opened at AT takes, up to and
    // including CLOSE; null when it never closes (the parser stops there).
    const auto skipTo = [&](const char* at, std::string_view close) -> const char* {
        const char* found = find(at, close);
        return found ? found + close.size() : nullptr;
    };
    constexpr qint64 kMaxElements = kMaxBuiltBytes / kBuiltValueCost;
    qint64 elements = 0;
    int depth = 0;
    while (p) {
        const char* open = static_cast<const char*>(std::memchr(p, '<', size_t(end - p)));
        if (!open) {
            return true;
        }
        const char* at = open + 1;
        if (startsWith(at, "!--")) {
            p = skipTo(at + 3, "-->");
        } else if (startsWith(at, "![CDATA[")) {
            p = skipTo(at + 8, "]]>");
        } else if (startsWith(at, "?")) {
            p = skipTo(at + 1, "?>");
        } else if (startsWith(at, "!")) {
            // The document type, which ends at "]>" once a '[' comes before a '>'.
            const char* stop = at;
            while (stop < end && *stop != '[' && *stop != '>') {
                ++stop;
            }
            p = stop == end ? nullptr : *stop == '>' ? stop + 1 : skipTo(stop, "]>");
        } else {
            const bool closing = at < end && *at == '/';
            const char* name = at + (closing ? 1 : 0);
            const char* nameEnd = name;
            while (nameEnd < end && !std::strchr(" \t\r\n<>/", *nameEnd)) {
                ++nameEnd;
            }
            const std::string_view tag(name, size_t(nameEnd - name));
            const bool container = tag == "array" || tag == "dict";
            p = nameEnd;
            if (closing) {
                if (container && depth > 0) {
                    --depth;
                }
                continue;
            }
            if (tag != "plist" && ++elements > kMaxElements) {
                return false;
            }
            if (tag == "integer" && !integerFits(nameEnd, end)) {
                return false;
            }
            if (!container) {
                continue;
            }
            // Empty ones count as a level too, as they do in the readers.
            if (depth >= kMaxNestingDepth) {
                return false;
            }
            const char* stop = nameEnd;
            while (stop < end && *stop != '<' && *stop != '>') {
                ++stop;
            }
            if (!(stop < end && *stop == '>' && stop[-1] == '/')) {
                ++depth;
            }
        }
    }
    return true;
}

std::optional<QVariant> readSimpleXml(QByteArrayView bytes)
{
    Reader reader(bytes);
    QVariant root;
    if (!reader.prolog() || !reader.value(&root, 0) || !reader.epilog()) {
        return std::nullopt;
    }
    return root;
}

std::optional<QStringList> readSimpleXmlKeys(QByteArrayView bytes, QList<ValueSpan>* spans)
{
    Reader reader(bytes);
    QStringList keys;
    QList<ValueSpan> found;
    if (!reader.prolog() || !reader.rootKeys(&keys, spans ? &found : nullptr) || !reader.epilog()) {
        return std::nullopt;
    }
    // In key order, each key once, as a dictionary holds them. The spans
    // are given for files in that order already, as we write them.
    const bool ordered =
        std::adjacent_find(keys.cbegin(), keys.cend(), [](const QString& a, const QString& b) {
            return !(a < b);
        }) == keys.cend();
    if (spans) {
        *spans = ordered ? std::move(found) : QList<ValueSpan>();
    }
    if (!ordered) {
        std::sort(keys.begin(), keys.end());
        keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    }
    return keys;
}

std::optional<QVariant> readSimpleXmlFragment(QByteArrayView bytes)
{
    Reader reader(bytes);
    QVariant value;
    if (!reader.fragment(&value)) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::optional<QVariant>> readSimpleXmlValue(QByteArrayView bytes, const QString& key)
{
    Reader reader(bytes);
    std::optional<QVariant> found;
    if (!reader.prolog() || !reader.rootValue(key.toUtf8(), &found) || !reader.epilog()) {
        return std::nullopt;
    }
    return found;
}

} // namespace zarvo::plist
