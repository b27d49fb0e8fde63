#include "source/readaheadwindow.h"

#include <algorithm>

namespace vantora {

ReadAheadWindow::ReadAheadWindow(qsizetype count, Start start, Cancel cancel, qint64 maxBytes,
                                 qsizetype maxFiles)
    : m_count(count), m_start(std::move(start)), m_cancel(std::move(cancel)), m_maxBytes(maxBytes),
      m_maxFiles(maxFiles)
{
}

ReadAheadWindow::~ReadAheadWindow()
{
    if (m_cancel && m_next > m_current + 1)
        m_cancel();
}

void ReadAheadWindow::advanceTo(qsizetype index)
{
    while (!m_begun.empty() && m_begun.front().first < index) {
        m_ahead -= m_begun.front().second;
        m_begun.pop_front();
    }
    m_current = index;
    m_next = std::max(m_next, index);
    while (m_next < m_count && m_ahead < m_maxBytes && m_next - index < m_maxFiles) {
        const qint64 bytes = m_start(m_next);
        m_begun.emplace_back(m_next, bytes);
        m_ahead += bytes;
        ++m_next;
    }
}

} // namespace vantora
