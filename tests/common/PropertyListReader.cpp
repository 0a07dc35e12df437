#include "common/PropertyListReader.h"

#include <QProcess>
#include <QVariantList>
#include <QVariantMap>
#include <QXmlStreamReader>

namespace vesk::test {

namespace {

QVariant readValue(QXmlStreamReader& xml);

QVariant readContainer(QXmlStreamReader& xml, bool dictionary)
{
    QVariantMap map;
    QVariantList list;
    QString key;
    while (xml.readNextStartElement()) {
        if (dictionary && xml.name() == QLatin1String("key")) {
            key = xml.readElementText();
            continue;
        }
        const QVariant value = readValue(xml);
        if (dictionary)
            map.insert(key, value);
        else
            list.append(value);
    }
    return dictionary ? QVariant(map) : QVariant(list);
}

QVariant readValue(QXmlStreamReader& xml)
{
    const QString name = xml.name().toString();
    if (name == QLatin1String("dict"))
        return readContainer(xml, true);
    if (name == QLatin1String("array"))
        return readContainer(xml, false);
    if (name == QLatin1String("true") || name == QLatin1String("false")) {
        xml.skipCurrentElement();
        return name == QLatin1String("true");
    }
    const QString text = xml.readElementText();
    if (name == QLatin1String("integer"))
        return text.toLongLong();
    if (name == QLatin1String("real"))
        return text.toDouble();
    if (name == QLatin1String("data"))
        return QByteArray::fromBase64(text.simplified().remove(QLatin1Char(' ')).toLatin1());
    return text;
}

} // namespace

QVariant readPropertyList(const QByteArray& bytes, QString* failure)
{
    QProcess plistutil;
    plistutil.start(QStringLiteral("plistutil"), {QStringLiteral("-i"), QStringLiteral("-"), QStringLiteral("-o"),
                                                 QStringLiteral("-"), QStringLiteral("-f"), QStringLiteral("xml")});
    if (!plistutil.waitForStarted(5000)) {
        if (failure)
            *failure = QStringLiteral("plistutil is not installed (Debian package libplist-utils)");
        return {};
    }
    plistutil.write(bytes);
    plistutil.closeWriteChannel();
    plistutil.waitForFinished(10000);
    const QByteArray xmlText = plistutil.readAllStandardOutput();
    if (plistutil.exitCode() != 0 || xmlText.isEmpty()) {
        if (failure)
            *failure = QStringLiteral("plistutil refused the bytes: ") + QString::fromUtf8(plistutil.readAllStandardError());
        return {};
    }
    QXmlStreamReader xml(xmlText);
    while (xml.readNextStartElement()) {
        if (xml.name() != QLatin1String("plist"))
            continue;
        if (xml.readNextStartElement())
            return readValue(xml);
    }
    if (failure)
        *failure = QStringLiteral("plistutil gave no value");
    return {};
}

} // namespace vesk::test
