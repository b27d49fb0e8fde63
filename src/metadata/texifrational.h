#pragma once

#include <QPointer>
#include <QtGlobal>

namespace vantora {

class TExifInfo;

// A rational number kept by a TExifInfo. Deleting the component's own one makes it create a fresh one,
// so the component's Rational() never dangles.
class TExifRational final
{
public:
    explicit TExifRational(TExifInfo *owner = nullptr);
    ~TExifRational();
    TExifRational(const TExifRational &) = delete;
    TExifRational &operator=(const TExifRational &) = delete;

    // Copies the two numbers, not the link.
    void Assign(const TExifRational &source);

    TExifInfo *Owner() const { return m_owner; }
    qint32 Numerator() const { return m_numerator; }
    qint32 Denominator() const { return m_denominator; }
    void SetNumerator(qint32 value) { m_numerator = value; }
    void SetDenominator(qint32 value) { m_denominator = value; }

private:
    QPointer<TExifInfo> m_owner;
    qint32 m_numerator = 0;
    qint32 m_denominator = 0;
};

} // namespace vantora
