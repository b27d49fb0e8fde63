#pragma once

#include <QString>
#include <QTest>

#include <array>
#include <cstddef>
#include <initializer_list>
#include <tuple>

namespace vantora::test {

// A text cell: a UTF-8 literal in a QString column, as QTest::newRow takes it.
using Text = const char *;

template <typename Cell> struct ColumnOf
{
    using type = Cell;
};

template <> struct ColumnOf<Text>
{
    using type = QString;
};

// The current test's data table, one braced line a row: the row's name, then a cell for each column.
template <typename... Cells>
void addRows(const std::array<const char *, sizeof...(Cells)> &columns,
             std::initializer_list<std::tuple<const char *, Cells...>> rows)
{
    std::size_t column = 0;
    (QTest::addColumn<typename ColumnOf<Cells>::type>(columns[column++]), ...);
    for (const auto &row : rows) {
        std::apply([](const char *name, const Cells &...cells) { (QTest::newRow(name) << ... << cells); },
                   row);
    }
}

} // namespace vantora::test
