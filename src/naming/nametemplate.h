#pragma once

#include <QDate>
#include <QString>
#include <QStringView>

#include <functional>

namespace vantora {

// The template language of created folder names and new file names. Everything here is a pure function
// of its arguments: counters, the date separator and the clock are handed in by the caller.

enum class TemplateDialogMode
{
    Folder,
    File
};

inline constexpr QStringView RenbanToken = u"[RENBAN]";             // running number
inline constexpr QStringView TransferDateToken = u"[yyyymmdd]";     // today, read at each expansion
inline constexpr QStringView ShootingDateToken = u"[YYYYMMDD]";     // shooting date from the caller
inline constexpr QStringView SourceNameToken = u"[元のファイル名]"; // source name, file mode only

inline constexpr QStringView DefaultFolderTemplate = u"新しいフォルダ";
inline constexpr QStringView DefaultFileTemplate = u"[元のファイル名]";
inline constexpr QStringView PreviewSourceName = u"DSC_1234";
inline constexpr QStringView PreviewExtension = u"[.拡張子]";

// Running numbers live in 1..MaxRunningNumber.
inline constexpr qint32 MaxRunningNumber = 2147483647;

// The clock the transfer date comes from. Read once per expansion or preview, so files copied after
// midnight in the same run get the new date.
using TodayFunction = std::function<QDate()>;
QDate systemToday();

// One template with its prefix and suffix and their switches (the folder one or the file one).
struct NameTemplate
{
    QString text;
    QString prefix{};
    bool prefixOn = false;
    QString suffix{};
    bool suffixOn = false;

    friend bool operator==(const NameTemplate &, const NameTemplate &) = default;
};

// Everything the names of one run depend on, snapshotted from the main window and the template dialog.
struct NameTemplateSet
{
    NameTemplate folder{DefaultFolderTemplate.toString()};
    NameTemplate file{DefaultFileTemplate.toString()};
    QString separator;        // DateSeparator, 0..4 characters, may be empty
    qint32 folderCounter = 1; // FolderNameCounter
    qint32 fileCounter = 1;   // FileNameCounter

    const NameTemplate &forMode(TemplateDialogMode mode) const
    {
        return mode == TemplateDialogMode::Folder ? folder : file;
    }

    friend bool operator==(const NameTemplateSet &, const NameTemplateSet &) = default;
};

// The running number that follows n. Past MaxRunningNumber it wraps to 1 (never zero or negative):
// a number stuck at the maximum would give every later file the same name, which with overwrite on
// destroys each previous copy. A value outside 1..MaxRunningNumber also continues at 1.
qint32 NextRunningNumber(qint32 n);

// A counter value brought into 1..MaxRunningNumber (the nearest bound).
qint32 ClampRunningNumber(qint64 n);

// year + separator + month + separator + day, month and day with two digits (2024_01_09, 20240109).
QString FormatTemplateDate(int year, int month, int day, const QString &separator);
QString FormatTemplateDate(const QDate &date, const QString &separator);

// Expands a template.
// Folder mode: a fragment that starts and ends with "/" (e.g. "/2024.01.09/"), for a destination path
//   without a trailing "/"; "[元のファイル名]" stays literal; sourcePath is ignored.
// File mode: a file name with the source file's extension, case kept (e.g. "2024.01.09_7.JPG").
// "[yyyymmdd]" is today from the clock, "[YYYYMMDD]" is shootingDate; both write the separator literally.
// Prefix and suffix are literal; the source name goes in last, so token text inside it stays literal.
// Spaces are kept and nothing is checked or shortened.
QString ExpandNameTemplate(TemplateDialogMode mode, const QString &templateText, const QString &prefix,
                           bool prefixOn, const QString &suffix, bool suffixOn, qint32 number,
                           const QString &sourcePath, const QDate &shootingDate, const QString &separator,
                           const TodayFunction &today = systemToday);

// The same over one set's template, e.g. ExpandNameTemplate(Folder, set.folder, n, {}, d, set.separator).
QString ExpandNameTemplate(TemplateDialogMode mode, const NameTemplate &name, qint32 number,
                           const QString &sourcePath, const QDate &shootingDate, const QString &separator,
                           const TodayFunction &today = systemToday);

// Parts of a source path as the file template uses them: the name after the last "/", its base (up to the
// last ".", empty for ".hidden") and its extension (from the last ".", empty when there is none).
QString SourceBaseName(const QString &sourcePath);
QString SourceExtension(const QString &sourcePath);

// Main-window folder preview (Label1): tokens of the template replaced with the counter, today and
// "YYYY"+sep+"MM"+sep+"DD", prefix/suffix by their switches, trimmed of spaces and control characters,
// framed "/" ... "/".
QString BuildFolderNamePreview(const NameTemplate &folder, qint32 folderCounter, const QString &separator,
                               const QDate &today);
// Main-window file preview (Label13): "DSC_1234" for the source name, prefix/suffix by their switches,
// then "[.拡張子]".
QString BuildFileNamePreview(const NameTemplate &file, qint32 fileCounter, const QString &separator,
                             const QDate &today);
// The template dialog's preview of the text being edited: prefix and suffix always included, whatever their
// switches; folder mode framed "/" ... "/" without trimming.
QString BuildDialogNamePreview(TemplateDialogMode mode, const QString &text,
                               const NameTemplate &mainWindowSet, qint32 counter, const QString &separator,
                               const QDate &today);

// The message of a file template without a required token.
QString requiredTokenMessage();

// The validity rule of file templates: empty becomes "[元のファイル名]"; a text holding neither
// "[元のファイル名]" nor "[RENBAN]" gets "[元のファイル名]" in front and `message` says why (show it);
// otherwise `message` is empty.
struct FileTemplateCheck
{
    QString text;
    QString message;
};
FileTemplateCheck CheckFileTemplate(const QString &text);

// A folder template left empty becomes "新しいフォルダ".
QString CheckFolderTemplate(const QString &text);

// True when an expanded name would not stay inside its destination folder: a path part "." or "..", a NUL
// character, or (file mode) an empty name. The destination resolver refuses such a name rather than write
// outside the destination or onto the folder itself.
bool NameLeavesFolder(TemplateDialogMode mode, QStringView expanded);

} // namespace vantora
