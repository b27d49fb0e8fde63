#include "system/shelldetails.h"

#include "platform/bytepath.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <exiv2/exiv2.hpp>

#include <array>
#include <map>
#include <mutex>

namespace vantora {

namespace {

const std::array<const char16_t *, LastDetailColumn - FirstDetailColumn + 1> kColumnNames = {
    u"ツールチップ",
    u"名前",
    u"サイズ",
    u"種類",
    u"更新日時",
    u"作成日時",
    u"アクセス日時",
    u"属性",
    u"状態",
    u"所有者",
    u"作成者",
    u"タイトル",
    u"表題",
    u"カテゴリ",
    u"ページ数",
    u"コメント",
    u"著作権",
    u"アーティスト",
    u"アルバムのタイトル",
    u"年",
    u"トラック番号",
    u"ジャンル",
    u"長さ",
    u"ビットレート",
    u"保護",
    u"カメラのモデル",
    u"写真の撮影日",
    u"大きさ",
    u"幅",
    u"高さ",
    u"29 ?",
    u"30 ?",
    u"写真の撮影日(?)",
    u"オーディオサンプルサイズ",
    u"オーディオサンプルレート",
    u"チャンネル",
    u"会社名",
    u"説明",
    u"ファイルバージョン",
    u"製品名",
    u"製品バージョン",
    u"Keywords"};

QString dateText(const QDateTime &time)
{
    return time.isValid() ? time.toLocalTime().toString(QStringLiteral("yyyy/MM/dd HH:mm")) : QString();
}

// "2017:03:05 10:11:12" as the date columns write it; other texts unchanged.
QString metadataDateText(const QString &text)
{
    const QDateTime t = QDateTime::fromString(text.left(19), QStringLiteral("yyyy:MM:dd HH:mm:ss"));
    return t.isValid() ? t.toString(QStringLiteral("yyyy/MM/dd HH:mm")) : text.trimmed();
}

QString sizeText(const QFileInfo &info)
{
    if (!info.isFile())
        return QString();
    // Whole kilobytes rounded up, as file lists show them.
    const qint64 kb = (info.size() + 1023) / 1024;
    return QLocale(QLocale::Japanese).toString(kb) + QStringLiteral(" KB");
}

QString typeText(const QFileInfo &info)
{
    if (info.isDir())
        return QStringLiteral("ファイル フォルダー");
    const QString suffix = info.suffix().toUpper();
    return suffix.isEmpty() ? QStringLiteral("ファイル") : suffix + QStringLiteral(" ファイル");
}

QString attributeText(const QFileInfo &info)
{
    QString a;
    if (!info.isWritable())
        a += QLatin1Char('R');
    if (info.isHidden())
        a += QLatin1Char('H');
    if (info.isDir())
        a += QLatin1Char('D');
    if (info.isSymLink())
        a += QLatin1Char('L');
    return a;
}

// The tags of one read image as the detail columns show them; empty for a tag it does not have.
class PictureTags final
{
public:
    explicit PictureTags(const Exiv2::Image &image)
        : m_exif(image.exifData()), m_xmp(image.xmpData()), m_iptc(image.iptcData())
    {
    }

    QString exif(const char *key) const
    {
        const auto it = m_exif.findKey(Exiv2::ExifKey(key));
        // Windows' XP* tags are UTF-16 byte strings; print() decodes them.
        return it == m_exif.end() ? QString() : QString::fromStdString(it->print(&m_exif)).trimmed();
    }

    QString xmp(const char *key) const
    {
        const auto it = m_xmp.findKey(Exiv2::XmpKey(key));
        if (it == m_xmp.end())
            return QString();
        QString t = QString::fromStdString(it->toString()).trimmed();
        // Language alternatives print as 'lang="x-default" text'.
        if (t.startsWith(QLatin1String("lang=")))
            t = t.mid(t.indexOf(QLatin1Char(' ')) + 1);
        return t;
    }

    QString takenDate() const
    {
        QString taken = exif("Exif.Photo.DateTimeOriginal");
        if (taken.isEmpty())
            taken = exif("Exif.Image.DateTimeOriginal");
        if (taken.isEmpty())
            taken = xmp("Xmp.exif.DateTimeOriginal")
                        .replace(QLatin1Char('-'), QLatin1Char(':'))
                        .replace(QLatin1Char('T'), QLatin1Char(' '));
        return taken.isEmpty() ? QString() : metadataDateText(taken);
    }

    QString keywords() const
    {
        QStringList keywords;
        for (const auto &datum : m_iptc) {
            if (datum.key() == "Iptc.Application2.Keywords")
                keywords << QString::fromStdString(datum.toString()).trimmed();
        }
        if (keywords.isEmpty()) {
            const QString subject = xmp("Xmp.dc.subject");
            if (!subject.isEmpty())
                keywords << subject;
        }
        return keywords.join(QLatin1String("; "));
    }

private:
    const Exiv2::ExifData &m_exif;
    const Exiv2::XmpData &m_xmp;
    const Exiv2::IptcData &m_iptc;
};

QString firstNonEmpty(std::initializer_list<QString> texts)
{
    for (const QString &t : texts) {
        if (!t.isEmpty())
            return t;
    }
    return QString();
}

// The columns of people, titles, dates and the camera, in column order up to the size columns.
void addTagColumns(std::map<int, QString> &d, const PictureTags &tags)
{
    d[9] = firstNonEmpty(
        {tags.exif("Exif.Image.Artist"), tags.xmp("Xmp.dc.creator"), tags.exif("Exif.Image.XPAuthor")});
    d[10] = firstNonEmpty({tags.xmp("Xmp.dc.title"), tags.exif("Exif.Image.XPTitle")});
    d[11] = tags.exif("Exif.Image.XPSubject");
    const QString taken = tags.takenDate();
    d[12] = taken;
    d[25] = taken;
    d[31] = taken;
    d[14] = firstNonEmpty({tags.exif("Exif.Image.XPComment"), tags.exif("Exif.Photo.UserComment")});
    d[15] = firstNonEmpty({tags.exif("Exif.Image.Copyright"), tags.xmp("Xmp.dc.rights")});
    d[16] = tags.xmp("Xmp.xmpDM.artist");
    d[17] = tags.xmp("Xmp.xmpDM.album");
    d[19] = tags.xmp("Xmp.xmpDM.trackNumber");
    d[20] = tags.xmp("Xmp.xmpDM.genre");
    d[24] = tags.exif("Exif.Image.Model");
}

void addSizeColumns(std::map<int, QString> &d, const Exiv2::Image &image)
{
    const int w = image.pixelWidth();
    const int h = image.pixelHeight();
    if (w > 0 && h > 0) {
        d[26] = QStringLiteral("%1 x %2").arg(w).arg(h);
        d[27] = QStringLiteral("%1 ピクセル").arg(w);
        d[28] = QStringLiteral("%1 ピクセル").arg(h);
    }
}

// The picture details of one file, by column.
std::map<int, QString> pictureDetails(const QString &path)
{
    std::map<int, QString> d;
    static std::once_flag once;
    std::call_once(once, [] { Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute); });
    try {
        auto image = Exiv2::ImageFactory::open(pathToBytes(path).toStdString());
        if (!image.get())
            return d;
        image->readMetadata();
        const PictureTags tags(*image);
        addTagColumns(d, tags);
        addSizeColumns(d, *image);
        d[36] = tags.exif("Exif.Image.ImageDescription");
        d[40] = tags.keywords();
    } catch (const std::exception &) {
        // Not a file exiv2 reads: it has its file-system details only.
    }
    return d;
}

QStringList detailsOf(const QString &itemPath, bool withPicture)
{
    const QFileInfo info(itemPath);
    QStringList texts;
    for (int c = FirstDetailColumn; c <= LastDetailColumn; ++c)
        texts << QString();
    if (!info.exists() && !info.isSymLink())
        return texts;
    auto set = [&texts](int column, const QString &text) { texts[column - FirstDetailColumn] = text; };
    if (withPicture && info.isFile()) {
        for (const auto &[column, text] : pictureDetails(itemPath))
            set(column, text);
    }
    set(0, info.fileName());
    set(1, sizeText(info));
    set(2, typeText(info));
    set(3, dateText(info.lastModified()));
    set(4, dateText(info.birthTime()));
    set(5, dateText(info.lastRead()));
    set(6, attributeText(info));
    set(8, info.owner());
    QStringList tip{QStringLiteral("項目の種類: ") + typeText(info)};
    if (info.isFile())
        tip << QStringLiteral("サイズ: ") + sizeText(info);
    tip << QStringLiteral("更新日時: ") + dateText(info.lastModified());
    set(-1, tip.join(QLatin1String(" / ")));
    return texts;
}

} // namespace

QStringList FolderItems(const QString &folder)
{
    QDir dir(folder);
    if (!dir.exists())
        return {};
    QStringList items;
    const QFileInfoList entries =
        dir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                          QDir::Name | QDir::DirsFirst | QDir::IgnoreCase);
    for (const QFileInfo &info : entries)
        items << info.filePath();
    return items;
}

QString DetailColumnName(int column)
{
    if (column < FirstDetailColumn || column > LastDetailColumn)
        return QString();
    return QString::fromUtf16(kColumnNames[column - FirstDetailColumn]);
}

QString GetDetailsOf(const QString &itemPath, int column)
{
    if (column < FirstDetailColumn || column > LastDetailColumn)
        return QString();
    const bool needsPicture = column >= 9 && column != 13;
    return detailsOf(itemPath, needsPicture).at(column - FirstDetailColumn);
}

QStringList GetAllDetailsOf(const QString &itemPath)
{
    return detailsOf(itemPath, true);
}

int CodePageWidth(const QString &text)
{
    int width = 0;
    for (const char32_t c : text.toUcs4())
        width += (c < 0x80 || (c >= 0xFF61 && c <= 0xFF9F)) ? 1 : 2;
    return width;
}

QString DetailLabel(const QString &name)
{
    const int pad = std::max(0, 24 - CodePageWidth(name));
    return QLatin1Char('[') + name + QString(pad, QLatin1Char(' ')) + QLatin1String("] ");
}

QStringList DetailListing(const QString &folder)
{
    QStringList lines;
    for (const QString &item : FolderItems(folder)) {
        lines << QString(20, QLatin1Char('-')) << item;
        const QStringList texts = GetAllDetailsOf(item);
        for (int c = FirstDetailColumn; c <= LastDetailColumn; ++c)
            lines << DetailLabel(DetailColumnName(c)) + texts.at(c - FirstDetailColumn);
    }
    return lines;
}

QStringList ShortDetailListing(const QString &folder)
{
    QStringList lines;
    for (const QString &item : FolderItems(folder)) {
        const QStringList texts = GetAllDetailsOf(item);
        lines << QStringLiteral("[名前] ") + texts.at(0 - FirstDetailColumn)
              << QStringLiteral("[更新日時] ") + texts.at(3 - FirstDetailColumn)
              << QStringLiteral("[撮影日時] ") + texts.at(12 - FirstDetailColumn);
    }
    return lines;
}

} // namespace vantora
