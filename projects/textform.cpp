#include "projects/textform.h"

#include "platform/plistio.h"

#include <QDateTime>
#include <QLocale>
#include <QStringList>

namespace zarvo {

QString textForm(const std::optional<QVariant>& value)
{
    if (!value || !value->isValid()) {
        return kNullText;
    }
    switch (value->metaType().id()) {
    case QMetaType::QString:
        return value->toString();
    case QMetaType::Bool:
        return value->toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QMetaType::Int:
    case QMetaType::LongLong:
        return QString::number(value->toLongLong());
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return QString::number(value->toULongLong());
    case QMetaType::Double:
        return QString::number(value->toDouble(), 'g', QLocale::FloatingPointShortest);
    case QMetaType::QByteArray:
        return QStringLiteral("{length = %1, bytes = 0x%2}")
            .arg(value->toByteArray().size())
            .arg(QString::fromLatin1(value->toByteArray().toHex()));
    case QMetaType::QDateTime:
        return value->toDateTime().toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss +0000"));
    case QMetaType::QVariantList: {
        QStringList items;
        for (const QVariant& item : value->toList()) {
            items << QStringLiteral("    ") + textForm(item);
        }
        return QStringLiteral("(\n") + items.join(QStringLiteral(",\n")) + QStringLiteral("\n)");
    }
    case QMetaType::QVariantMap: {
        QStringList items;
        const QVariantMap map = value->toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            items << QStringLiteral("    %1 = %2;").arg(it.key(), textForm(it.value()));
        }
        return QStringLiteral("{\n") + items.join(QLatin1Char('\n')) + QStringLiteral("\n}");
    }
    default:
        if (value->metaType() == QMetaType::fromType<PlistUid>()) {
            return QString::number(value->value<PlistUid>().value);
        }
        return value->toString();
    }
}

QString textForm(const QVariantMap& dict, const QString& key)
{
    const auto it = dict.constFind(key);
    return it == dict.cend() ? kNullText : textForm(*it);
}

} // namespace zarvo
