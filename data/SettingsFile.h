// TSettingsFile: Korvela.ini beside the program, read as sections of name=value lines.
#pragma once

#include <QString>
#include <vector>

namespace data {

// "[Section]" starts a section; "name=value" gives a value in it. Section names and value names
// are matched in any letter case, blanks around them and around the value are dropped, and a
// value in double quotes is taken without them. Empty lines and lines starting with ";" or "#"
// are comments. A line that is neither (no "=", or a "[" without its closing "]") is ignored, as
// is a value before the first section; of two values of one name the later one holds.
class TSettingsFile {
public:
    // Reads the file at path: one that is not there, or is no file, holds no values; one that
    // cannot be read raises EOleException ("Could not read 'path': why").
    static TSettingsFile read(const QString& path);
    static TSettingsFile parse(const QString& text);

    // The value, or a null QString when the section has none of that name.
    QString value(const QString& section, const QString& name) const;

private:
    struct Entry {
        QString section, name, value;
    };
    std::vector<Entry> entries_; // in file order
};

} // namespace data
