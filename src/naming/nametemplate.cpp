#include "naming/nametemplate.h"

#include "platform/filepath.h"

#include <QStringList>

namespace vantora {

namespace {

QString twoDigits(int n)
{
    QString s = QString::number(n);
    if (s.size() == 1)
        s.prepend(QLatin1Char('0'));
    return s;
}

// Every occurrence, exact case, left to right; replaced text is not searched again.
void replaceAll(QString &text, QStringView token, const QString &with)
{
    text.replace(token.data(), token.size(), with.constData(), with.size());
}

QString withPrefixSuffix(const QString &name, const NameTemplate &t)
{
    QString out;
    if (t.prefixOn)
        out += t.prefix;
    out += name;
    if (t.suffixOn)
        out += t.suffix;
    return out;
}

// Appends "/" unless the text already ends with one, then puts one in front.
QString frameFolder(QString text)
{
    if (!text.endsWith(QLatin1Char('/')))
        text += QLatin1Char('/');
    return QLatin1Char('/') + text;
}

// Spaces and control characters, as the folder preview drops them at both ends.
QString trimSpacesAndControls(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin).unicode() <= 0x20)
        ++begin;
    while (end > begin && text.at(end - 1).unicode() <= 0x20)
        --end;
    return text.mid(begin, end - begin);
}

// Four-digit year, two-digit month and day; the separator is written literally, whatever it holds.
QString shootingDateText(const QDate &date, const QString &separator)
{
    return QStringLiteral("%1").arg(date.year(), 4, 10, QLatin1Char('0')) + separator +
           twoDigits(date.month()) + separator + twoDigits(date.day());
}

QString previewShootingDate(const QString &separator)
{
    return QStringLiteral("YYYY") + separator + QStringLiteral("MM") + separator + QStringLiteral("DD");
}

// The common token steps of the previews: counter, today, the shooting-date placeholder.
QString previewTokens(QString text, qint32 counter, const QString &separator, const QDate &today)
{
    replaceAll(text, RenbanToken, QString::number(counter));
    replaceAll(text, TransferDateToken, FormatTemplateDate(today, separator));
    replaceAll(text, ShootingDateToken, previewShootingDate(separator));
    return text;
}

} // namespace

QDate systemToday()
{
    return QDate::currentDate();
}

qint32 NextRunningNumber(qint32 n)
{
    if (n < 1 || n >= MaxRunningNumber)
        return 1;
    return n + 1;
}

qint32 ClampRunningNumber(qint64 n)
{
    if (n < 1)
        return 1;
    if (n > MaxRunningNumber)
        return MaxRunningNumber;
    return static_cast<qint32>(n);
}

QString FormatTemplateDate(int year, int month, int day, const QString &separator)
{
    return twoDigits(year) + separator + twoDigits(month) + separator + twoDigits(day);
}

QString FormatTemplateDate(const QDate &date, const QString &separator)
{
    return FormatTemplateDate(date.year(), date.month(), date.day(), separator);
}

QString SourceBaseName(const QString &sourcePath)
{
    const QString name = FilePath(sourcePath).name();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? name : name.left(dot);
}

QString SourceExtension(const QString &sourcePath)
{
    const QString name = FilePath(sourcePath).name();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot);
}

QString ExpandNameTemplate(TemplateDialogMode mode, const QString &templateText, const QString &prefix,
                           bool prefixOn, const QString &suffix, bool suffixOn, qint32 number,
                           const QString &sourcePath, const QDate &shootingDate, const QString &separator,
                           const TodayFunction &today)
{
    return ExpandNameTemplate(mode, NameTemplate{templateText, prefix, prefixOn, suffix, suffixOn}, number,
                              sourcePath, shootingDate, separator, today);
}

QString ExpandNameTemplate(TemplateDialogMode mode, const NameTemplate &name, qint32 number,
                           const QString &sourcePath, const QDate &shootingDate, const QString &separator,
                           const TodayFunction &today)
{
    QString text = name.text;
    replaceAll(text, RenbanToken, QString::number(number));
    if (text.contains(TransferDateToken))
        replaceAll(text, TransferDateToken, FormatTemplateDate(today ? today() : systemToday(), separator));
    if (text.contains(ShootingDateToken))
        replaceAll(text, ShootingDateToken, shootingDateText(shootingDate, separator));

    if (mode == TemplateDialogMode::File) {
        replaceAll(text, SourceNameToken, SourceBaseName(sourcePath));
        return withPrefixSuffix(text, name) + SourceExtension(sourcePath);
    }
    return frameFolder(withPrefixSuffix(text, name));
}

QString BuildFolderNamePreview(const NameTemplate &folder, qint32 folderCounter, const QString &separator,
                               const QDate &today)
{
    const QString text = previewTokens(folder.text, folderCounter, separator, today);
    return frameFolder(trimSpacesAndControls(withPrefixSuffix(text, folder)));
}

QString BuildFileNamePreview(const NameTemplate &file, qint32 fileCounter, const QString &separator,
                             const QDate &today)
{
    QString text = file.text;
    replaceAll(text, SourceNameToken, PreviewSourceName.toString());
    text = previewTokens(text, fileCounter, separator, today);
    return withPrefixSuffix(text, file) + PreviewExtension;
}

QString BuildDialogNamePreview(TemplateDialogMode mode, const QString &text,
                               const NameTemplate &mainWindowSet, qint32 counter, const QString &separator,
                               const QDate &today)
{
    NameTemplate always = mainWindowSet;
    always.prefixOn = true;
    always.suffixOn = true;
    if (mode == TemplateDialogMode::Folder)
        return frameFolder(withPrefixSuffix(previewTokens(text, counter, separator, today), always));
    QString name = text;
    replaceAll(name, SourceNameToken, PreviewSourceName.toString());
    return withPrefixSuffix(previewTokens(name, counter, separator, today), always) + PreviewExtension;
}

QString requiredTokenMessage()
{
    return QStringLiteral(
        "ファイル名に[元のファイル名]または[RENBAN]は必須です\r\n[元のファイル名]を付加します");
}

FileTemplateCheck CheckFileTemplate(const QString &text)
{
    if (text.isEmpty())
        return {DefaultFileTemplate.toString(), {}};
    if (!text.contains(SourceNameToken) && !text.contains(RenbanToken))
        return {SourceNameToken.toString() + text, requiredTokenMessage()};
    return {text, {}};
}

QString CheckFolderTemplate(const QString &text)
{
    return text.isEmpty() ? DefaultFolderTemplate.toString() : text;
}

bool NameLeavesFolder(TemplateDialogMode mode, QStringView expanded)
{
    if (expanded.contains(QChar(u'\0')))
        return true;
    const QList<QStringView> parts = expanded.split(QLatin1Char('/'));
    if (mode == TemplateDialogMode::File && (parts.isEmpty() || parts.last().isEmpty()))
        return true;
    for (QStringView part : parts) {
        if (part == u"." || part == u"..")
            return true;
    }
    return false;
}

} // namespace vantora
