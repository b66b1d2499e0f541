#include "platform/plistio.h"

#include "platform/binaryplist.h"
#include "platform/filestamp.h"

#include <QDateTime>
#include <QFile>
#include <QHash>

#include <plist/plist.h>

#include <limits>
#include <memory>
#include <mutex>

namespace zarvo::plist {
namespace {

struct PlistDeleter {
    void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

// Seconds between the Unix epoch and the property-list epoch (2001-01-01).
constexpr qint64 kPlistEpochOffset = 978307200;

// Deeper trees than this are refused rather than risk the stack.
constexpr int kMaxDepth = 512;

std::optional<QVariant> toVariant(plist_t node, int depth)
{
    if (!node || depth > kMaxDepth) {
        return std::nullopt;
    }
    switch (plist_get_node_type(node)) {
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
            auto converted = toVariant(value, depth + 1);
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
            auto converted = toVariant(plist_array_get_item(node, i), depth + 1);
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
        return QString::fromUtf8(text, text ? qsizetype(length) : 0);
    }
    case PLIST_BOOLEAN: {
        uint8_t value = 0;
        plist_get_bool_val(node, &value);
        return bool(value);
    }
    case PLIST_UINT: {
        uint64_t value = 0;
        plist_get_uint_val(node, &value);
        // Negative integers come back as their two's complement.
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
        return QByteArray(bytes, bytes ? qsizetype(length) : 0);
    }
    case PLIST_DATE: {
        int32_t sec = 0;
        int32_t usec = 0;
        plist_get_date_val(node, &sec, &usec);
        const qint64 ms = (qint64(sec) + kPlistEpochOffset) * 1000 + usec / 1000;
        return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
    }
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
    case QMetaType::ULongLong:
        return plist_new_uint(uint64_t(value.toLongLong()));
    case QMetaType::Double:
    case QMetaType::Float:
        return plist_new_real(value.toDouble());
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        return plist_new_data(bytes.constData(), uint64_t(bytes.size()));
    }
    case QMetaType::QDateTime: {
        const qint64 ms = value.toDateTime().toMSecsSinceEpoch() - kPlistEpochOffset * 1000;
        return plist_new_date(int32_t(ms / 1000), int32_t((ms % 1000) * 1000));
    }
    default:
        return plist_new_string(value.toString().toUtf8().constData());
    }
}

} // namespace

std::optional<QVariant> parse(const QByteArray& bytes)
{
    if (bytes.isEmpty() || bytes.size() > std::numeric_limits<int32_t>::max()) {
        return std::nullopt;
    }
    if (bytes.startsWith("bplist")) {
        return readBinary(bytes);
    }
    plist_t root = nullptr;
    plist_from_xml(bytes.constData(), uint32_t(bytes.size()), &root);
    PlistPtr owner(root);
    return toVariant(root, 0);
}

std::optional<QVariantMap> readDictionaryFile(const QString& path)
{
    // Parsing a large store takes far longer than a keystroke may, so the
    // last parse of each file is kept and handed out again while the file's
    // stamp proves it unchanged. Stamps of files changed a moment ago prove
    // nothing and are never cached.
    struct Cached {
        FileStamp stamp;
        QVariantMap dictionary;
    };
    static std::mutex mutex;
    static QHash<QString, Cached> cache;

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    const auto before = fileStamp(file.handle());
    {
        const std::lock_guard lock(mutex);
        const auto it = cache.constFind(path);
        if (before && it != cache.cend() && it->stamp == *before) {
            return it->dictionary;
        }
    }
    auto root = parse(file.readAll());
    const auto after = fileStamp(file.handle());
    if (!root || root->metaType().id() != QMetaType::QVariantMap) {
        return std::nullopt;
    }
    QVariantMap dictionary = root->toMap();
    const std::lock_guard lock(mutex);
    if (before && after && *before == *after && isSettled(*after)) {
        constexpr qsizetype kMaxCachedFiles = 8;
        if (cache.size() >= kMaxCachedFiles) {
            cache.clear();
        }
        cache.insert(path, {*after, dictionary});
    } else {
        cache.remove(path);
    }
    return dictionary;
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

} // namespace

QByteArray toXml(const QVariant& root)
{
    return serialize(root, plist_to_xml, plist_to_xml_free);
}

QByteArray toBinary(const QVariant& root)
{
    return serialize(root, plist_to_bin, plist_to_bin_free);
}

} // namespace zarvo::plist
