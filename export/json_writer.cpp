// The library's serializer writes every scalar and key, so that their bytes are the library's;
// this file writes only the brackets, commas, line breaks and indentation around them.
#include "export/json_writer.hpp"

#include <nlohmann/json.hpp>
#include <stdexcept>
#include <utility>

namespace zephor::exporter {

struct JsonWriter::Scalars {
    explicit Scalars(std::string& out)
        : s(nlohmann::detail::output_adapter<char, std::string>(out), ' ', nlohmann::json::error_handler_t::replace) {}
    void dump(const nlohmann::json& v) { s.dump(v, false, false, 0); }
    nlohmann::detail::serializer<nlohmann::json> s;
};

JsonWriter::JsonWriter(std::string& out) : out_(out), scalars_(std::make_unique<Scalars>(out)) {}
JsonWriter::~JsonWriter() = default;

void JsonWriter::before_value() {
    if (levels_.empty()) return;
    Level& l = levels_.back();
    if (l.object) {
        if (!l.keyed) throw std::logic_error("JsonWriter: a member without a key");
        l.keyed = false;
        return;
    }
    out_ += l.count++ == 0 ? "\n" : ",\n";
    out_.append(2 * levels_.size(), ' ');
}

JsonWriter& JsonWriter::key(std::string_view k) {
    if (levels_.empty() || !levels_.back().object || levels_.back().keyed)
        throw std::logic_error("JsonWriter: a key outside an object");
    Level& l = levels_.back();
    if (l.count > 0 && !(l.last_key < k)) throw std::logic_error("JsonWriter: key out of order: " + std::string(k));
    out_ += l.count++ == 0 ? "\n" : ",\n";
    out_.append(2 * levels_.size(), ' ');
    scalars_->dump(std::string(k));
    out_ += ": ";
    l.last_key = k;
    l.keyed = true;
    return *this;
}

void JsonWriter::open(bool object, char bracket) {
    before_value();
    out_ += bracket;
    Level l;
    l.object = object;
    levels_.push_back(std::move(l));
}

void JsonWriter::close(bool object, char bracket) {
    if (levels_.empty() || levels_.back().object != object || levels_.back().keyed)
        throw std::logic_error("JsonWriter: a container closed that is not open");
    const bool empty = levels_.back().count == 0;
    levels_.pop_back();
    if (!empty) {
        out_ += '\n';
        out_.append(2 * levels_.size(), ' ');
    }
    out_ += bracket;
}

void JsonWriter::begin_object() { open(true, '{'); }
void JsonWriter::end_object() { close(true, '}'); }
void JsonWriter::begin_array() { open(false, '['); }
void JsonWriter::end_array() { close(false, ']'); }
void JsonWriter::empty_object() {
    begin_object();
    end_object();
}

void JsonWriter::value(double x) {
    before_value();
    scalars_->dump(x);
}
void JsonWriter::value(std::int64_t i) {
    before_value();
    scalars_->dump(i);
}
void JsonWriter::value(bool b) {
    before_value();
    scalars_->dump(b);
}
void JsonWriter::value(std::string_view s) {
    before_value();
    scalars_->dump(std::string(s));
}
void JsonWriter::value(const std::vector<double>& list) {
    begin_array();
    for (const double x : list) value(x);
    end_array();
}

}  // namespace zephor::exporter
