// The XYZ reader walks molecule by molecule, checking every count and atom line on its way.
#include "import/xyz_reader.hpp"

#include "import/errors.hpp"
#include "import/text_lines.hpp"

namespace zephor::importer {

namespace {

std::string found(std::string_view line) {
    constexpr std::size_t most = 60;
    return "'" + shown(line.substr(0, most)) + (line.size() > most ? "...'" : "'");
}

}  // namespace

MoleculeIn read_xyz(std::string_view text, const std::string& name, int index) {
    if (index < 1) throw ContentError(name + ": molecules are numbered from 1");
    const std::vector<std::string_view> lines = split_lines(text);
    std::size_t at = 0;
    for (int molecule = 1;; ++molecule) {
        while (at < lines.size() && is_blank(lines[at])) ++at;
        if (at == lines.size()) {
            if (molecule == 1) throw ContentError(name + ": the file holds no atom");
            throw ContentError(name + ": the file holds " + std::to_string(molecule - 1) + " molecule" +
                               (molecule == 2 ? "" : "s") + ", not molecule " + std::to_string(index));
        }
        const std::vector<std::string_view> count_fields = split_fields(lines[at]);
        const std::optional<int> count = count_fields.size() == 1 ? parse_count(count_fields[0]) : std::nullopt;
        if (!count || *count < 0)
            throw content_error(name, at + 1, "expected the number of atoms, found " + found(lines[at]));
        const std::size_t count_line = at;
        if (at + 1 >= lines.size())
            throw content_error(name, at + 2, "the file ends where the comment line should be");
        MoleculeIn m;
        m.title = std::string(lines[at + 1]);
        at += 2;
        for (int a = 0; a < *count; ++a, ++at) {
            if (at >= lines.size())
                throw content_error(name, at + 1, "the file ends after " + std::to_string(a) + " of " +
                                                      std::to_string(*count) + " atoms (count on line " +
                                                      std::to_string(count_line + 1) + ")");
            const std::vector<std::string_view> f = split_fields(lines[at]);
            std::optional<double> xyz[3];
            if (f.size() >= 4)
                for (std::size_t c = 0; c < 3; ++c) {
                    xyz[c] = parse_number(f[c + 1]);
                    if (!xyz[c] && has_number_form(f[c + 1]))
                        throw content_error(name, at + 1, "the coordinate '" + shown(f[c + 1]) + "' is out of range");
                }
            if (f.size() < 4 || !xyz[0] || !xyz[1] || !xyz[2])
                throw content_error(name, at + 1, "expected 'symbol x y z', found " + found(lines[at]));
            m.atoms.push_back({element_of_label(f[0]), *xyz[0], *xyz[1], *xyz[2]});
        }
        if (molecule == index) return m;
    }
}

}  // namespace zephor::importer
