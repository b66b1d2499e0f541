#include "platform/binaryplist.h"

#include "platform/plistio.h"

#include <QDateTime>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace zarvo::plist {
namespace {

constexpr qsizetype kHeaderSize = 8;
constexpr qsizetype kTrailerSize = 32;
// Seconds between the Unix epoch and the property-list epoch (2001-01-01).
constexpr double kPlistEpochOffset = 978307200.0;

class Reader final {
public:
    explicit Reader(const QByteArray& bytes) : data_(bytes) {}

    std::optional<QVariant> read()
    {
        if (data_.size() < kHeaderSize + kTrailerSize || !data_.startsWith("bplist0")) {
            return std::nullopt;
        }
        const qsizetype trailer = data_.size() - kTrailerSize;
        offsetSize_ = byteAt(trailer + 6);
        refSize_ = byteAt(trailer + 7);
        const auto objectCount = unsignedAt(trailer + 8, 8);
        const auto top = unsignedAt(trailer + 16, 8);
        const auto tableOffset = unsignedAt(trailer + 24, 8);
        if (!validIntSize(offsetSize_) || !validIntSize(refSize_) || !objectCount || !top ||
            !tableOffset) {
            return std::nullopt;
        }
        // The offset table must lie between the header and the trailer.
        if (*tableOffset < quint64(kHeaderSize) || *tableOffset > quint64(trailer) ||
            *objectCount > quint64(trailer - *tableOffset) / offsetSize_ || *top >= *objectCount) {
            return std::nullopt;
        }
        objectCount_ = *objectCount;
        tableOffset_ = qsizetype(*tableOffset);
        objectsEnd_ = tableOffset_;
        visiting_.assign(size_t(objectCount_), false);
        maxVisits_ = kVisitsPerObject * objectCount_ + kMinVisits;
        return object(*top, 0);
    }

private:
    // Offsets and references take as many bytes as the largest of them
    // needs: a file of 64 KiB to 16 MiB has offsets of three bytes.
    static bool validIntSize(int size) { return size >= 1 && size <= 8; }

    int byteAt(qsizetype at) const { return static_cast<unsigned char>(data_[at]); }

    // A big-endian unsigned integer of SIZE bytes at AT, if it fits in the data.
    std::optional<quint64> unsignedAt(qsizetype at, int size) const
    {
        if (at < 0 || size < 0 || at > data_.size() - size) {
            return std::nullopt;
        }
        quint64 value = 0;
        for (int i = 0; i < size; ++i) {
            value = (value << 8) | quint64(byteAt(at + i));
        }
        return value;
    }

    std::optional<qsizetype> offsetOf(quint64 ref) const
    {
        if (ref >= objectCount_) {
            return std::nullopt;
        }
        const auto offset = unsignedAt(tableOffset_ + qsizetype(ref) * offsetSize_, offsetSize_);
        if (!offset || *offset < quint64(kHeaderSize) || *offset >= quint64(objectsEnd_)) {
            return std::nullopt;
        }
        return qsizetype(*offset);
    }

    // The length stored in a marker's low nibble, or in the integer after it.
    // Advances AT past the marker and the length.
    std::optional<quint64> lengthAt(qsizetype& at, int lowNibble) const
    {
        ++at;
        if (lowNibble != 0xF) {
            return quint64(lowNibble);
        }
        if (at >= objectsEnd_ || (byteAt(at) & 0xF0) != 0x10) {
            return std::nullopt;
        }
        const int size = 1 << (byteAt(at) & 0x0F);
        if (size > 8) {
            return std::nullopt;
        }
        const auto length = unsignedAt(at + 1, size);
        at += 1 + size;
        return length;
    }

    // True when COUNT items of ITEMSIZE bytes starting at AT lie within the objects.
    bool fits(qsizetype at, quint64 count, quint64 itemSize) const
    {
        return at <= objectsEnd_ && count <= quint64(objectsEnd_ - at) / itemSize;
    }

    // Object REF, at DEPTH containers below the top (0 for the top object).
    std::optional<QVariant> object(quint64 ref, int depth)
    {
        const auto start = offsetOf(ref);
        if (!start || visiting_[size_t(ref)] || ++visits_ > maxVisits_ || !built_.addValue()) {
            return std::nullopt;
        }
        qsizetype at = *start;
        const int marker = byteAt(at);
        const int type = marker >> 4;
        const int low = marker & 0x0F;
        switch (type) {
        case 0x0:
            if (marker == 0x08 || marker == 0x09) {
                return QVariant(marker == 0x09);
            }
            return std::nullopt;
        case 0x1:
            return integer(at + 1, low);
        case 0x2: {
            if (low == 2) {
                const auto bits = unsignedAt(at + 1, 4);
                if (!bits) {
                    return std::nullopt;
                }
                float value = 0;
                const auto raw = quint32(*bits);
                std::memcpy(&value, &raw, sizeof value);
                return QVariant(double(value));
            }
            if (low == 3) {
                return QVariant(doubleAt(at + 1).value_or(0.0));
            }
            return std::nullopt;
        }
        case 0x3: {
            if (marker != 0x33) {
                return std::nullopt;
            }
            // Seconds since the epoch of the format, read to the millisecond.
            // Only the years 1 to 9999 are read: every writer writes them back.
            constexpr double kFirstSecond = -63113904000.0;    // 0001-01-01T00:00:00Z
            constexpr double kPastLastSecond = 252423993600.0; // 10000-01-01T00:00:00Z
            const auto seconds = doubleAt(at + 1);
            if (!seconds || !(*seconds >= kFirstSecond && *seconds < kPastLastSecond)) {
                return std::nullopt;
            }
            return QVariant(QDateTime::fromMSecsSinceEpoch(
                std::llround((*seconds + kPlistEpochOffset) * 1000.0), Qt::UTC));
        }
        case 0x4:
        case 0x5:
        case 0x6: {
            const auto length = lengthAt(at, low);
            const quint64 unit = type == 0x6 ? 2 : 1;
            if (!length || !fits(at, *length, unit) ||
                !built_.addBytes(qint64(*length) * (type == 0x4 ? 1 : 2))) {
                return std::nullopt;
            }
            const char* bytes = data_.constData() + at;
            if (type == 0x4) {
                return QVariant(QByteArray(bytes, qsizetype(*length)));
            }
            // No string holds a NUL character (plistio.h).
            if (type == 0x5) {
                if (std::memchr(bytes, 0, size_t(*length))) {
                    return std::nullopt;
                }
                return QVariant(QString::fromLatin1(bytes, qsizetype(*length)));
            }
            QString text(qsizetype(*length), Qt::Uninitialized);
            for (qsizetype i = 0; i < qsizetype(*length); ++i) {
                text[i] = QChar(char16_t((byteAt(at + 2 * i) << 8) | byteAt(at + 2 * i + 1)));
                if (text[i].isNull()) {
                    return std::nullopt;
                }
            }
            return QVariant(text);
        }
        case 0x8: {
            if (low + 1 > 8) {
                return std::nullopt;
            }
            const auto value = unsignedAt(at + 1, low + 1);
            if (!value) {
                return std::nullopt;
            }
            return QVariant::fromValue(PlistUid{*value});
        }
        case 0xA:
        case 0xC:
        case 0xD: {
            const auto count = lengthAt(at, low);
            const quint64 refsPerItem = type == 0xD ? 2 : 1;
            if (depth >= kMaxNestingDepth || !count ||
                !fits(at, *count, quint64(refSize_) * refsPerItem)) {
                return std::nullopt;
            }
            visiting_[size_t(ref)] = true;
            auto result = type == 0xD ? dictionary(at, *count, depth) : array(at, *count, depth);
            visiting_[size_t(ref)] = false;
            return result;
        }
        default:
            return std::nullopt;
        }
    }

    // The integer of 2^LOG2SIZE bytes at AT. Integers of one, two and four
    // bytes are unsigned, those of eight signed; those of sixteen are signed
    // too and hold the unsigned 64-bit values above the signed ones, which
    // read as quint64. Larger ones do not fit and are refused.
    std::optional<QVariant> integer(qsizetype at, int log2Size) const
    {
        if (log2Size > 4) {
            return std::nullopt;
        }
        const int size = 1 << log2Size;
        if (size < 16) {
            const auto value = unsignedAt(at, size);
            if (!value) {
                return std::nullopt;
            }
            return QVariant(qint64(*value));
        }
        const auto high = unsignedAt(at, 8);
        const auto low = unsignedAt(at + 8, 8);
        if (!high || !low) {
            return std::nullopt;
        }
        constexpr quint64 kSignBit = quint64(1) << 63;
        if (*high == 0) {
            return *low & kSignBit ? QVariant(quint64(*low)) : QVariant(qint64(*low));
        }
        if (*high == std::numeric_limits<quint64>::max() && (*low & kSignBit)) {
            return QVariant(qint64(*low));
        }
        return std::nullopt;
    }

    std::optional<double> doubleAt(qsizetype at) const
    {
        const auto bits = unsignedAt(at, 8);
        if (!bits) {
            return std::nullopt;
        }
        double value = 0;
        std::memcpy(&value, &*bits, sizeof value);
        return value;
    }

    std::optional<QVariant> array(qsizetype at, quint64 count, int depth)
    {
        QVariantList list;
        for (quint64 i = 0; i < count; ++i) {
            const auto item =
                object(*unsignedAt(at + qsizetype(i) * refSize_, refSize_), depth + 1);
            if (!item) {
                return std::nullopt;
            }
            list.append(*item);
        }
        return QVariant(list);
    }

    std::optional<QVariant> dictionary(qsizetype at, quint64 count, int depth)
    {
        QVariantMap map;
        const qsizetype values = at + qsizetype(count) * refSize_;
        for (quint64 i = 0; i < count; ++i) {
            const auto key = object(*unsignedAt(at + qsizetype(i) * refSize_, refSize_), depth + 1);
            if (!key || key->metaType().id() != QMetaType::QString) {
                return std::nullopt;
            }
            const auto value =
                object(*unsignedAt(values + qsizetype(i) * refSize_, refSize_), depth + 1);
            if (!value) {
                return std::nullopt;
            }
            map.insert(key->toString(), *value);
        }
        return QVariant(map);
    }

    const QByteArray& data_;
    int offsetSize_ = 0;
    int refSize_ = 0;
    quint64 objectCount_ = 0;
    qsizetype tableOffset_ = 0;
    qsizetype objectsEnd_ = 0;
    std::vector<bool> visiting_;
    // Shared references may repeat an object, but not without bound: a small
    // file of nested shared arrays would otherwise expand exponentially.
    static constexpr quint64 kVisitsPerObject = 16;
    static constexpr quint64 kMinVisits = 1'000'000;
    quint64 visits_ = 0;
    quint64 maxVisits_ = 0;
    // The bytes of the values built, each visit of a shared object counted.
    BuiltBytes built_;
};

} // namespace

std::optional<QVariant> readBinary(const QByteArray& bytes)
{
    return Reader(bytes).read();
}

} // namespace zarvo::plist
