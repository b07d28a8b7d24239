#include "platform/portal/PortalStreams.h"

#include <QDBusArgument>
#include <QVariantMap>

namespace lumarient::portal {

namespace {

// A "size" entry is (ii); anything else leaves the size unknown.
void readSize(const QVariant &value, PortalStream &stream)
{
    if (!value.canConvert<QDBusArgument>()) {
        return;
    }
    const QDBusArgument argument = value.value<QDBusArgument>();
    if (argument.currentSignature() != QLatin1String("(ii)")) {
        return;
    }
    int width = 0;
    int height = 0;
    argument.beginStructure();
    argument >> width >> height;
    argument.endStructure();
    if (width > 0 && height > 0) {
        stream.width = width;
        stream.height = height;
    }
}

} // namespace

std::vector<PortalStream> parsePortalStreams(const QVariant &streams)
{
    std::vector<PortalStream> parsed;
    if (!streams.canConvert<QDBusArgument>()) {
        return parsed;
    }
    const QDBusArgument argument = streams.value<QDBusArgument>();
    if (argument.currentSignature() != QLatin1String("a(ua{sv})")) {
        return parsed;
    }
    argument.beginArray();
    while (!argument.atEnd()) {
        PortalStream stream;
        QVariantMap properties;
        argument.beginStructure();
        argument >> stream.nodeID >> properties;
        argument.endStructure();
        readSize(properties.value(QStringLiteral("size")), stream);
        parsed.push_back(stream);
    }
    argument.endArray();
    return parsed;
}

} // namespace lumarient::portal
