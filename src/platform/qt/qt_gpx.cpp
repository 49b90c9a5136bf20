// GPX 1.1 tracks written with the toolkit's XML writer. The closing tags are
// always on disk: each point goes in just before them and the file is flushed,
// so a reader (or a crash) never meets half a document.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QXmlStreamWriter>

#include "base/text.h"
#include "platform/files.h"
#include "platform/gpx_track.h"

struct GpxTrack {
    QFile file;
    qint64 closingSize = 0;  // bytes of "</trkseg></trk></gpx>" at the end of the file
};

namespace {

constexpr int kCoordinateDigits = 7;  // 1.1 cm of latitude

// Writes the document up to the open track segment into head and its closing
// tags into tail.
void WriteSkeleton(const QString& name, QByteArray* head, QByteArray* tail)
{
    QByteArray all;
    QXmlStreamWriter xml(&all);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("gpx"));
    xml.writeDefaultNamespace(QStringLiteral("http://www.topografix.com/GPX/1/1"));
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral("1.1"));
    xml.writeAttribute(QStringLiteral("creator"), QStringLiteral("velkar"));
    xml.writeStartElement(QStringLiteral("trk"));
    xml.writeTextElement(QStringLiteral("name"), name);
    xml.writeStartElement(QStringLiteral("trkseg"));
    xml.writeCharacters(QString());  // closes the start tag: the segment is never written empty as <trkseg/>
    *head = all;
    xml.writeEndDocument();
    *tail = "\n    " + all.mid(head->size());
}

QByteArray PointXml(const GpxPoint& p)
{
    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.writeStartElement(QStringLiteral("trkpt"));
    xml.writeAttribute(QStringLiteral("lat"), QString::number(p.latitude, 'f', kCoordinateDigits));
    xml.writeAttribute(QStringLiteral("lon"), QString::number(p.longitude, 'f', kCoordinateDigits));
    if (p.hasAltitude) xml.writeTextElement(QStringLiteral("ele"), QString::number(p.altitude, 'f', 1));
    if (p.time[0] != 0) xml.writeTextElement(QStringLiteral("time"), QString::fromLatin1(p.time));
    xml.writeEndElement();
    return "\n      " + out;  // one point a line, inside the segment
}

}  // namespace

GpxTrackHandle OpenGpxTrack(const char16_t* devicePath, const char16_t* name)
{
    if (devicePath == nullptr) return nullptr;
    const QString path = QString::fromStdString(DevicePathToHost(devicePath));
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) return nullptr;
    auto* track = new GpxTrack;
    track->file.setFileName(path);
    // NewOnly: an existing track (or anything else of that name) is left alone.
    if (!track->file.open(QIODevice::ReadWrite | QIODevice::NewOnly)) {
        delete track;
        return nullptr;
    }
    QByteArray head, tail;
    WriteSkeleton(QString::fromUtf16(name != nullptr ? name : u""), &head, &tail);
    track->closingSize = tail.size();
    if (track->file.write(head + tail) != head.size() + tail.size() || !track->file.flush()) {
        track->file.remove();
        delete track;
        return nullptr;
    }
    return track;
}

int AppendGpxPoint(GpxTrackHandle track, const GpxPoint* point)
{
    if (track == nullptr || point == nullptr || !track->file.isOpen()) return 0;
    const qint64 end = track->file.size();
    if (end < track->closingSize) return 0;
    QByteArray tail(track->closingSize, '\0');
    if (!track->file.seek(end - track->closingSize) || track->file.read(tail.data(), tail.size()) != tail.size())
        return 0;
    const QByteArray bytes = PointXml(*point) + tail;
    if (!track->file.seek(end - track->closingSize)) return 0;
    if (track->file.write(bytes) != bytes.size() || !track->file.flush()) {
        // A short write (full disk) is taken back: the points before stay a whole document.
        track->file.resize(end - track->closingSize);
        track->file.seek(end - track->closingSize);
        track->file.write(tail);
        track->file.flush();
        return 0;
    }
    return 1;
}

void CloseGpxTrack(GpxTrackHandle track)
{
    if (track == nullptr) return;
    track->file.close();
    delete track;
}
