#pragma once

#include "metadata/quicktimedate.h"

#include <QtGlobal>

namespace vantora {

quint16 IsoBe16(const char *p);
quint32 IsoBe32(const char *p);
quint64 IsoBe64(const char *p);

// One box header of an ISO base media file (QuickTime, MP4, HEIF): its type and where its content and
// the box end.
struct IsoBox
{
    char type[4] = {};
    qint64 content = 0;
    qint64 end = 0;
    bool is(const char (&name)[5]) const;
};

// Walks boxes by their sizes within a budget of box headers. Every box ends past its start, so no walk
// can loop; a box off the path is skipped by its size without being read.
class IsoBoxWalker
{
public:
    IsoBoxWalker(QuickTimeSource &source, int budget) : m_source(source), m_boxesLeft(budget) {}

    // Reads the header of the box at pos inside a parent ending at parentEnd. Size 1: a 64-bit size
    // follows; 0: to parentEnd. False when it cannot be read, is smaller than its header, runs past the
    // parent, or the budget is spent.
    bool header(qint64 pos, qint64 parentEnd, IsoBox &box);

    // The first box of the given type directly inside [begin, end); false when there is none or the walk
    // meets a damaged box first.
    bool find(qint64 begin, qint64 end, const char (&type)[5], IsoBox &found);

    // Exactly count bytes at offset, all before end.
    bool read(qint64 offset, char *buffer, int count, qint64 end);

private:
    QuickTimeSource &m_source;
    int m_boxesLeft;
};

} // namespace vantora
