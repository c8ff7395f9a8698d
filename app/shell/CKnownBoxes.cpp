#include "CKnownBoxes.h"

#include "BoxAddressText.h"
#include "DebugPrint.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>

namespace {

// A name, UDN or address longer than this is not one a Box sends.
constexpr qsizetype kMaxTextLength = 1024;

std::string text(const QJsonObject& entry, const char* key) {
    const QString value = entry.value(QLatin1StringView(key)).toString();
    return value.size() <= kMaxTextLength ? value.toStdString() : std::string();
}

// The entry read back, or none when it is not sound.
std::optional<FoundBox> boxOf(const QJsonValue& value) {
    const QJsonObject entry = value.toObject();
    const QJsonValue port = entry.value(QLatin1StringView("port"));
    FoundBox box{.host = text(entry, "host"),
                 .friendlyName = text(entry, "name"),
                 .port = port.toInt(0),
                 .udn = text(entry, "udn"),
                 .location = text(entry, "location"),
                 .presentationUrl = {},
                 .kind = DeviceKind::Box, // only Boxes are remembered
                 .unusableReason = {}};
    const auto address = ParseHostAndPort(box.host);
    if (!port.isDouble() || !address || address->port != kBoxCommandPort || box.port < 1 ||
        box.port > 65535)
        return std::nullopt;
    // Only the Box's own plain page is ever fetched from it.
    if (!box.location.starts_with("http://"))
        box.location.clear();
    return box;
}

QJsonObject entryOf(const FoundBox& box) {
    return {{QStringLiteral("host"), QString::fromStdString(box.host)},
            {QStringLiteral("port"), box.port},
            {QStringLiteral("name"), QString::fromStdString(box.friendlyName)},
            {QStringLiteral("udn"), QString::fromStdString(box.udn)},
            {QStringLiteral("location"), QString::fromStdString(box.location)}};
}

bool isSameBox(const FoundBox& a, const FoundBox& b) {
    const bool isSameUdn = !a.udn.empty() && a.udn == b.udn;
    return isSameUdn || (a.host == b.host && a.port == b.port);
}

} // namespace

CKnownBoxes::CKnownBoxes(QString filePath) : m_filePath(std::move(filePath)) {}

QString CKnownBoxes::DefaultFilePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/vellumo/boxes.json");
}

void CKnownBoxes::Load() {
    m_boxes.clear();
    QFile file(m_filePath);
    if (!file.exists())
        return;
    if (!file.open(QIODevice::ReadOnly)) {
        DebugPrint("CKnownBoxes::Load(): cannot read %s: %s\n", qPrintable(m_filePath),
                   qPrintable(file.errorString()));
        return;
    }
    if (file.size() > kMaxFileBytes) {
        DebugPrint("CKnownBoxes::Load(): %s is too large, no Box is remembered\n",
                   qPrintable(m_filePath));
        return;
    }
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(file.read(kMaxFileBytes), &error);
    const QJsonValue boxes = document.object().value(QLatin1StringView("boxes"));
    if (error.error != QJsonParseError::NoError || !boxes.isArray()) {
        DebugPrint("CKnownBoxes::Load(): %s is corrupt (%s), no Box is remembered\n",
                   qPrintable(m_filePath),
                   qPrintable(error.error != QJsonParseError::NoError ? error.errorString()
                                                                      : QStringLiteral("no list")));
        return;
    }
    for (const QJsonValue& value : boxes.toArray()) {
        const std::optional<FoundBox> box = boxOf(value);
        if (!box) {
            DebugPrint("CKnownBoxes::Load(): an entry of %s is left out\n", qPrintable(m_filePath));
            continue;
        }
        if (m_boxes.size() < kMaxBoxes && std::ranges::none_of(m_boxes, [&](const FoundBox& known) {
                return isSameBox(known, *box);
            }))
            m_boxes.push_back(*box);
    }
}

bool CKnownBoxes::Remember(const FoundBox& box) {
    std::erase_if(m_boxes, [&](const FoundBox& known) { return isSameBox(known, box); });
    m_boxes.insert(m_boxes.begin(), box);
    if (m_boxes.size() > kMaxBoxes)
        m_boxes.resize(kMaxBoxes);
    return save();
}

bool CKnownBoxes::save() const {
    const QFileInfo info(m_filePath);
    if (!QDir().mkpath(info.absolutePath())) {
        DebugPrint("CKnownBoxes: cannot write %s: no folder %s\n", qPrintable(m_filePath),
                   qPrintable(info.absolutePath()));
        return false;
    }
    QJsonArray boxes;
    for (const FoundBox& box : m_boxes)
        boxes.append(entryOf(box));
    QSaveFile file(m_filePath);
    const bool isWritten =
        file.open(QIODevice::WriteOnly) &&
        file.write(QJsonDocument(QJsonObject{{QStringLiteral("boxes"), boxes}}).toJson()) >= 0 &&
        file.commit();
    if (!isWritten)
        DebugPrint("CKnownBoxes: cannot write %s: %s\n", qPrintable(m_filePath),
                   qPrintable(file.errorString()));
    return isWritten;
}
