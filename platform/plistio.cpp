#include "platform/plistio.h"

#include "platform/binaryplist.h"
#include "platform/filestamp.h"
#include "platform/xmlplist.h"

#include <QDateTime>
#include <QHash>

#include <plist/plist.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zarvo::plist {
namespace {

struct PlistDeleter {
    void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

// Seconds between the Unix epoch and the property-list epoch (2001-01-01).
constexpr qint64 kPlistEpochOffset = 978307200;

// NODE alone, read back by the binary reader.
// WORKAROUND: libplist keeps a date as a double and an integer with its
// signedness, but hands out a date only as 32-bit seconds (every date before
// 1933 or after 2069 comes out as 1932-12-13) and an integer without saying
// whether it is signed; its binary writer writes both exactly.
std::optional<QVariant> readBackAsBinary(plist_t node)
{
    const PlistPtr holder(plist_new_array());
    plist_array_append_item(static_cast<plist_t>(holder.get()), plist_copy(node));
    char* out = nullptr;
    uint32_t length = 0;
    plist_to_bin(static_cast<plist_t>(holder.get()), &out, &length);
    const QByteArray bytes(out, qsizetype(length));
    plist_to_bin_free(out);
    const auto list = readBinary(bytes);
    if (!list || list->toList().size() != 1) {
        return std::nullopt;
    }
    return list->toList().constFirst();
}

// The node that libplist's binary reader builds from OBJECT, the encoding of
// one object of a binary list (put in an array, as its reader wants).
// WORKAROUND: libplist makes dates only from 32-bit seconds and unsigned
// integers above the signed ones not at all (they would be written as
// negative); its binary reader makes both from their exact encoding.
plist_t nodeFromBinary(const QByteArray& object)
{
    QByteArray bytes("bplist00\xA1\x01", 10);
    bytes += object;
    const int tableOffset = int(bytes.size());
    bytes += char(8);  // the array
    bytes += char(10); // the object
    QByteArray trailer(32, '\0');
    trailer[6] = 1;  // offset size
    trailer[7] = 1;  // reference size
    trailer[15] = 2; // objects
    trailer[31] = char(tableOffset);
    bytes += trailer;
    plist_t array = nullptr;
    plist_from_bin(bytes.constData(), uint32_t(bytes.size()), &array);
    const PlistPtr owner(array);
    plist_t item = array ? plist_array_get_item(array, 0) : nullptr;
    // The list is made here and always reads; should libplist ever refuse
    // it, the writers would say so by an empty string in its place, which
    // the tests of every value's round trip would see.
    return item ? plist_copy(item) : plist_new_string("");
}

// EIGHT bytes of VALUE, big-endian.
QByteArray bigEndian(quint64 value)
{
    QByteArray bytes(8, '\0');
    for (int i = 7; i >= 0; --i, value >>= 8) {
        bytes[i] = char(value & 0xFF);
    }
    return bytes;
}

// Reads NODE, DEPTH containers below the root, counting what it builds in BUILT.
std::optional<QVariant> toVariant(plist_t node, int depth, BuiltBytes& built)
{
    if (!node || !built.addValue()) {
        return std::nullopt;
    }
    const plist_type type = plist_get_node_type(node);
    if ((type == PLIST_DICT || type == PLIST_ARRAY) && depth >= kMaxNestingDepth) {
        return std::nullopt;
    }
    switch (type) {
    case PLIST_DICT: {
        QVariantMap map;
        plist_dict_iter it = nullptr;
        plist_dict_new_iter(node, &it);
        if (!it) {
            return map;
        }
        const std::unique_ptr<void, decltype(&free)> iterOwner(it, &free);
        const uint32_t n = plist_dict_get_size(node);
        for (uint32_t i = 0; i < n; ++i) {
            // WORKAROUND: libplist asserts when asked for a key that is not a
            // key node, which a malformed binary file can produce; fetch the
            // value alone and check its key node before reading it.
            plist_t value = nullptr;
            plist_dict_next_item(node, it, nullptr, &value);
            plist_t keyNode = value ? plist_dict_item_get_key(value) : nullptr;
            if (!keyNode || plist_get_node_type(keyNode) != PLIST_KEY) {
                return std::nullopt;
            }
            char* key = nullptr;
            plist_get_key_val(keyNode, &key);
            const QString name = QString::fromUtf8(key);
            free(key);
            if (!built.addValue() || !built.addBytes(2 * name.size())) {
                return std::nullopt;
            }
            auto converted = toVariant(value, depth + 1, built);
            if (!converted) {
                return std::nullopt;
            }
            map.insert(name, *converted);
        }
        return map;
    }
    case PLIST_ARRAY: {
        QVariantList list;
        const uint32_t n = plist_array_get_size(node);
        for (uint32_t i = 0; i < n; ++i) {
            auto converted = toVariant(plist_array_get_item(node, i), depth + 1, built);
            if (!converted) {
                return std::nullopt;
            }
            list.append(*converted);
        }
        return list;
    }
    case PLIST_STRING:
    case PLIST_KEY: {
        uint64_t length = 0;
        const char* text = plist_get_string_ptr(node, &length);
        // No string holds a NUL character (plistio.h).
        if (text && std::memchr(text, 0, size_t(length))) {
            return std::nullopt;
        }
        const QString string = QString::fromUtf8(text, text ? qsizetype(length) : 0);
        if (!built.addBytes(2 * string.size())) {
            return std::nullopt;
        }
        return string;
    }
    case PLIST_BOOLEAN: {
        uint8_t value = 0;
        plist_get_bool_val(node, &value);
        return bool(value);
    }
    case PLIST_UINT: {
        uint64_t value = 0;
        plist_get_uint_val(node, &value);
        // Negative integers come back as their two's complement, and so do
        // the unsigned ones above the signed.
        if (value > uint64_t(std::numeric_limits<qint64>::max())) {
            return readBackAsBinary(node);
        }
        return qint64(value);
    }
    case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        return value;
    }
    case PLIST_DATA: {
        uint64_t length = 0;
        const char* bytes = plist_get_data_ptr(node, &length);
        if (!built.addBytes(qint64(length))) {
            return std::nullopt;
        }
        return QByteArray(bytes, bytes ? qsizetype(length) : 0);
    }
    case PLIST_DATE:
        return readBackAsBinary(node);
    case PLIST_UID: {
        uint64_t value = 0;
        plist_get_uid_val(node, &value);
        return QVariant::fromValue(PlistUid{value});
    }
    default:
        return std::nullopt;
    }
}

plist_t fromVariant(const QVariant& value)
{
    if (value.canConvert<PlistUid>() && value.metaType() == QMetaType::fromType<PlistUid>()) {
        return plist_new_uid(value.value<PlistUid>().value);
    }
    switch (value.metaType().id()) {
    case QMetaType::QVariantMap: {
        plist_t dict = plist_new_dict();
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            plist_dict_set_item(dict, it.key().toUtf8().constData(), fromVariant(it.value()));
        }
        return dict;
    }
    case QMetaType::QVariantList: {
        plist_t array = plist_new_array();
        for (const QVariant& item : value.toList()) {
            plist_array_append_item(array, fromVariant(item));
        }
        return array;
    }
    case QMetaType::Bool:
        return plist_new_bool(value.toBool() ? 1 : 0);
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong:
        return plist_new_uint(uint64_t(value.toLongLong()));
    case QMetaType::ULong:
    case QMetaType::ULongLong: {
        const quint64 number = value.toULongLong();
        if (number <= quint64(std::numeric_limits<qint64>::max())) {
            return plist_new_uint(number);
        }
        // A 16-byte integer, as binary lists hold the unsigned ones.
        return nodeFromBinary("\x14" + bigEndian(0) + bigEndian(number));
    }
    case QMetaType::Double:
    case QMetaType::Float:
        return plist_new_real(value.toDouble());
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        return plist_new_data(bytes.constData(), uint64_t(bytes.size()));
    }
    case QMetaType::QDateTime: {
        // Whole seconds, as XML holds them; rounded down, before the epoch too.
        const qint64 ms = value.toDateTime().toMSecsSinceEpoch();
        const qint64 seconds = (ms >= 0 ? ms / 1000 : (ms - 999) / 1000) - kPlistEpochOffset;
        const double exact = double(seconds);
        quint64 bits = 0;
        std::memcpy(&bits, &exact, sizeof bits);
        return nodeFromBinary("\x33" + bigEndian(bits));
    }
    default:
        return plist_new_string(value.toString().toUtf8().constData());
    }
}

} // namespace

std::optional<QVariant> parseGeneral(const QByteArray& bytes)
{
    if (bytes.isEmpty() || bytes.size() > std::numeric_limits<int32_t>::max()) {
        return std::nullopt;
    }
    if (bytes.startsWith("bplist")) {
        return readBinary(bytes);
    }
    // libplist frees its tree recursively, and builds all of it.
    if (!fitsGeneralXmlParser(bytes)) {
        return std::nullopt;
    }
    plist_t root = nullptr;
    plist_from_xml(bytes.constData(), uint32_t(bytes.size()), &root);
    PlistPtr owner(root);
    BuiltBytes built;
    return toVariant(root, 0, built);
}

std::optional<QVariant> parse(const QByteArray& bytes)
{
    // The files we write ourselves are read several times faster, and with
    // a fraction of the memory, by the reader that knows their plain form.
    if (!bytes.startsWith("bplist")) {
        if (auto root = readSimpleXml(bytes)) {
            return root;
        }
    }
    return parseGeneral(bytes);
}

namespace {

// Parsing a large store takes far longer than a keystroke may, so what was
// last read from each file is kept and handed out again while the file's
// stamp proves it unchanged. Stamps of files changed a moment ago prove
// nothing and are never cached. A store's names are kept apart from its
// whole tree: they are what every keystroke reads, and a fraction of its size.
struct Cached {
    FileStamp stamp;
    std::optional<QVariantMap> dictionary;
    std::optional<QStringList> keys;
    // Where the value of each of the keys lies in the file, when known.
    QList<ValueSpan> spans;
};

std::mutex gCacheMutex;
QHash<QString, Cached> gCache;

std::optional<Cached> cachedFor(const QString& path, const std::optional<FileStamp>& stamp)
{
    const std::lock_guard lock(gCacheMutex);
    const auto it = gCache.constFind(path);
    if (stamp && it != gCache.cend() && it->stamp == *stamp) {
        return *it;
    }
    return std::nullopt;
}

// Keeps what was read from PATH while its stamp went from BEFORE to AFTER,
// beside what is kept for the same stamp already; forgets PATH when the file
// moved during the read or is not settled.
void remember(const QString& path, const std::optional<FileStamp>& before,
              const std::optional<FileStamp>& after, std::optional<QVariantMap> dictionary,
              std::optional<QStringList> keys, QList<ValueSpan> spans = {})
{
    const std::lock_guard lock(gCacheMutex);
    if (!before || !after || *before != *after || !isSettled(*after)) {
        gCache.remove(path);
        return;
    }
    auto it = gCache.find(path);
    if (it == gCache.end() || it->stamp != *after) {
        constexpr qsizetype kMaxCachedFiles = 8;
        if (gCache.size() >= kMaxCachedFiles) {
            gCache.clear();
        }
        it = gCache.insert(path, {*after, std::nullopt, std::nullopt, {}});
    }
    if (dictionary) {
        it->dictionary = std::move(dictionary);
    }
    if (keys) {
        it->keys = std::move(keys);
        it->spans = std::move(spans);
    }
}

// The whole contents of an open file, up to kMaxPropertyListFileSize.
// Large files are read into memory of their own that goes back to the
// system as soon as the bytes are dropped: read into the heap, a large
// store's bytes would stay resident after the read, glibc keeping freed
// blocks of that size for later use.
class FileBytes final {
public:
    explicit FileBytes(int fd)
    {
        constexpr qint64 kLargeFile = 256 * 1024;
        constexpr size_t kSlack = 4096; // room to see that the end was reached
        struct stat st {};
        const qint64 expected = ::fstat(fd, &st) == 0 ? qint64(st.st_size) : 0;
        if (expected > kMaxPropertyListFileSize) {
            tooLarge_ = true;
            return;
        }
        if (expected >= kLargeFile) {
            capacity_ = size_t(expected) + kSlack;
            // Populated at once: every page is written by the read anyway.
            void* memory = ::mmap(nullptr, capacity_, PROT_READ | PROT_WRITE,
                                  MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
            if (memory != MAP_FAILED) {
                large_ = static_cast<char*>(memory);
                readLarge(fd);
                return;
            }
            capacity_ = 0;
        }
        readSmall(fd, expected + qint64(kSlack));
    }
    ~FileBytes()
    {
        if (large_) {
            ::munmap(large_, capacity_);
        }
    }
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;

    // Larger than any store: nothing of it is kept.
    bool isTooLarge() const { return tooLarge_; }
    QByteArrayView view() const
    {
        return large_ ? QByteArrayView(large_, size_) : QByteArrayView(small_);
    }
    bool isBinary() const { return view().startsWith("bplist"); }
    // A copy for the general parsers.
    QByteArray copy() const { return large_ ? view().toByteArray() : small_; }

private:
    // Reads into BUFFER: the bytes read, 0 at the end, -1 on an error.
    static ssize_t readSome(int fd, char* buffer, size_t length)
    {
        while (true) {
            const ssize_t n = ::read(fd, buffer, length);
            if (n >= 0 || errno != EINTR) {
                return n;
            }
        }
    }

    // Room for more than SIZE bytes, never more than the cap and a byte.
    static qint64 grownCapacity(qint64 size)
    {
        return std::min(size * 2, kMaxPropertyListFileSize + 1);
    }

    void readSmall(int fd, qint64 capacity)
    {
        small_.resize(qsizetype(capacity));
        qsizetype size = 0;
        while (true) {
            if (size == small_.size()) {
                // The file grew since its size was taken.
                small_.resize(qsizetype(grownCapacity(size)));
            }
            const ssize_t n = readSome(fd, small_.data() + size, size_t(small_.size() - size));
            if (n <= 0) {
                break;
            }
            size += n;
            if (size > kMaxPropertyListFileSize) {
                tooLarge_ = true;
                small_ = QByteArray();
                return;
            }
        }
        small_.truncate(size);
    }

    void readLarge(int fd)
    {
        while (true) {
            if (size_t(size_) == capacity_) {
                const size_t capacity = size_t(grownCapacity(qint64(capacity_)));
                void* grown = ::mremap(large_, capacity_, capacity, MREMAP_MAYMOVE);
                if (grown == MAP_FAILED) {
                    return;
                }
                large_ = static_cast<char*>(grown);
                capacity_ = capacity;
            }
            const ssize_t n = readSome(fd, large_ + size_, capacity_ - size_t(size_));
            if (n <= 0) {
                return;
            }
            size_ += n;
            if (size_ > kMaxPropertyListFileSize) {
                tooLarge_ = true;
                size_ = 0;
                return;
            }
        }
    }

    QByteArray small_;
    char* large_ = nullptr;
    qsizetype size_ = 0;
    size_t capacity_ = 0;
    bool tooLarge_ = false;
};

std::optional<QVariant> parse(const FileBytes& bytes)
{
    if (!bytes.isBinary()) {
        if (auto root = readSimpleXml(bytes.view())) {
            return root;
        }
    }
    return parseGeneral(bytes.copy());
}

// KEY's value read from where the kept reading of the file open at FD (stamped BEFORE)
// says it lies, without reading the rest. The outer optional is empty when
// that cannot be done; the inner one when the file has no KEY.
std::optional<std::optional<QVariant>> valueBySpan(int fd, const FileStamp& before,
                                                   const Cached& cached, const QString& key)
{
    const QStringList& keys = *cached.keys;
    const auto it = std::lower_bound(keys.cbegin(), keys.cend(), key);
    if (it == keys.cend() || *it != key) {
        return std::optional<QVariant>();
    }
    const ValueSpan span = cached.spans.value(it - keys.cbegin());
    const qsizetype length = span.end - span.begin;
    if (length <= 0) {
        return std::nullopt;
    }
    QByteArray bytes(length, Qt::Uninitialized);
    if (::pread(fd, bytes.data(), size_t(length), off_t(span.begin)) != length) {
        return std::nullopt;
    }
    // The file must still be the one the spans were taken from.
    const auto after = fileStamp(fd);
    if (!after || *after != before) {
        return std::nullopt;
    }
    auto value = readSimpleXmlFragment(bytes);
    if (!value) {
        return std::nullopt;
    }
    return std::optional<QVariant>(std::move(*value));
}

} // namespace

namespace {

// Opens PATH for one of the readers; REPORT says why it was not opened.
OpenedFile openForReading(const QString& path, Writers writers, ReadReport* report)
{
    OpenedFile file = openFileForReading(path, writers);
    if (report) {
        using Outcome = ReadReport::Outcome;
        *report = {file.isOpen()      ? Outcome::read
                   : file.isMissing() ? Outcome::missing
                                      : Outcome::refused,
                   file.problem()};
    }
    return file;
}

// What was read from PATH is no dictionary property list: forgets PATH and
// says so in REPORT.
void notAPropertyList(const QString& path, const FileBytes* bytes, ReadReport* report)
{
    remember(path, std::nullopt, std::nullopt, std::nullopt, std::nullopt);
    if (report) {
        const bool tooLarge = bytes && bytes->isTooLarge();
        *report = {ReadReport::Outcome::notPropertyList,
                   tooLarge ? QStringLiteral("%1 is not a property list (it is larger than %2 MiB)")
                                  .arg(path)
                                  .arg(kMaxPropertyListFileSize >> 20)
                            : QStringLiteral("%1 is not a property list").arg(path)};
    }
}

} // namespace

std::optional<QVariantMap> readDictionaryFile(const QString& path, Writers writers,
                                              ReadReport* report)
{
    const OpenedFile file = openForReading(path, writers, report);
    if (!file.isOpen()) {
        return std::nullopt;
    }
    const auto before = fileStamp(file.fd());
    if (auto cached = cachedFor(path, before); cached && cached->dictionary) {
        return std::move(cached->dictionary);
    }
    const FileBytes bytes(file.fd());
    auto root = bytes.isTooLarge() ? std::nullopt : parse(bytes);
    const auto after = fileStamp(file.fd());
    if (!root || root->metaType().id() != QMetaType::QVariantMap) {
        notAPropertyList(path, &bytes, report);
        return std::nullopt;
    }
    QVariantMap dictionary = root->toMap();
    remember(path, before, after, dictionary, std::nullopt);
    return dictionary;
}

std::optional<QStringList> readDictionaryKeys(const QString& path, Writers writers,
                                              ReadReport* report)
{
    const OpenedFile file = openForReading(path, writers, report);
    if (!file.isOpen()) {
        return std::nullopt;
    }
    const auto before = fileStamp(file.fd());
    if (auto cached = cachedFor(path, before)) {
        if (cached->keys) {
            return std::move(cached->keys);
        }
        if (cached->dictionary) {
            return cached->dictionary->keys();
        }
    }
    const FileBytes bytes(file.fd());
    if (bytes.isTooLarge()) {
        notAPropertyList(path, &bytes, report);
        return std::nullopt;
    }
    const auto after = fileStamp(file.fd());
    std::optional<QStringList> keys;
    QList<ValueSpan> spans;
    if (!bytes.isBinary()) {
        keys = readSimpleXmlKeys(bytes.view(), &spans);
    }
    if (!keys) {
        auto root = parseGeneral(bytes.copy());
        if (!root || root->metaType().id() != QMetaType::QVariantMap) {
            notAPropertyList(path, &bytes, report);
            return std::nullopt;
        }
        keys = root->toMap().keys();
    }
    remember(path, before, after, std::nullopt, keys, std::move(spans));
    return keys;
}

std::optional<QVariant> readDictionaryValue(const QString& path, const QString& key,
                                            Writers writers, ReadReport* report)
{
    const OpenedFile file = openForReading(path, writers, report);
    if (!file.isOpen()) {
        return std::nullopt;
    }
    const auto before = fileStamp(file.fd());
    if (auto cached = cachedFor(path, before)) {
        if (cached->dictionary) {
            const auto it = cached->dictionary->constFind(key);
            return it == cached->dictionary->cend() ? std::nullopt : std::optional<QVariant>(*it);
        }
        if (cached->keys && !cached->spans.isEmpty()) {
            if (auto found = valueBySpan(file.fd(), *before, *cached, key)) {
                return *found;
            }
        }
    }
    const FileBytes bytes(file.fd());
    if (bytes.isTooLarge()) {
        notAPropertyList(path, &bytes, report);
        return std::nullopt;
    }
    if (!bytes.isBinary()) {
        if (auto found = readSimpleXmlValue(bytes.view(), key)) {
            return *found;
        }
    }
    // A file the plain reader does not know is parsed in full, and kept.
    const auto after = fileStamp(file.fd());
    auto root = parseGeneral(bytes.copy());
    if (!root || root->metaType().id() != QMetaType::QVariantMap) {
        notAPropertyList(path, &bytes, report);
        return std::nullopt;
    }
    QVariantMap dictionary = root->toMap();
    const auto it = dictionary.constFind(key);
    std::optional<QVariant> value =
        it == dictionary.cend() ? std::nullopt : std::optional<QVariant>(*it);
    remember(path, before, after, std::move(dictionary), std::nullopt);
    return value;
}

namespace {

// Converts ROOT with one of libplist's writers and frees what it allocated.
template <typename Write, typename Free>
QByteArray serialize(const QVariant& root, Write write, Free release)
{
    PlistPtr node(fromVariant(root));
    char* out = nullptr;
    uint32_t length = 0;
    write(static_cast<plist_t>(node.get()), &out, &length);
    QByteArray result(out, qsizetype(length));
    release(out);
    return result;
}

// XML as libplist writes it, with the year of every date in four digits.
// WORKAROUND: libplist writes the years 1 to 999 with as many digits as
// they have ("1-01-01T00:00:00Z"), which other readers refuse; no text holds
// "<date>" but a date (a string's '<' is written "&lt;").
QByteArray withFourDigitYears(QByteArray xml)
{
    constexpr QByteArrayView kDate("<date>");
    for (qsizetype at = xml.indexOf(kDate); at >= 0; at = xml.indexOf(kDate, at + 1)) {
        const qsizetype year = at + kDate.size();
        qsizetype digits = 0;
        while (year + digits < xml.size() && xml[year + digits] >= '0' &&
               xml[year + digits] <= '9') {
            ++digits;
        }
        if (digits >= 1 && digits < 4) {
            xml.insert(year, QByteArray(4 - digits, '0'));
        }
    }
    return xml;
}

} // namespace

QByteArray toXml(const QVariant& root)
{
    return withFourDigitYears(serialize(root, plist_to_xml, plist_to_xml_free));
}

QByteArray toBinary(const QVariant& root)
{
    return serialize(root, plist_to_bin, plist_to_bin_free);
}

} // namespace zarvo::plist
