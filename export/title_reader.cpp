// zephor's own list-directed reader takes the title, so that export and run agree on it.
#include "export/title_reader.hpp"

#include <fstream>
#include <sstream>

#include "common/errors.hpp"
#include "common/run_files.hpp"
#include "driver/list_reader.hpp"

namespace zephor::exporter {

std::string for005_title(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "";
    std::ostringstream text;
    text << in.rdbuf();
    const std::string data = text.str();
    std::string title(100, ' ');
    try {
        ListReader reader(data, sizing_unit, input_file_name);
        const ListItem item[] = {ListItem::of_text(title, 100)};
        reader.read(item);
    } catch (const ReportError&) {
        return "";
    }
    title.erase(title.find_last_not_of(' ') + 1);
    return title;
}

}  // namespace zephor::exporter
