// JSON text written as it goes, in the layout of the json library's dump(2) of a document held
// whole (two spaces a level, one member or element a line, "{}" and "[]" when empty, numbers in
// the library's own shortest form, strings escaped by the library with bytes that are not UTF-8
// replaced), without building the document: a result of a few thousand numbers is written in a
// fraction of the time. Members must come in ascending order of their keys, the order the
// library's objects keep; a key out of order is a fault of the caller (std::logic_error).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zephor::exporter {

class JsonWriter {
public:
    explicit JsonWriter(std::string& out);
    ~JsonWriter();
    JsonWriter(const JsonWriter&) = delete;
    JsonWriter& operator=(const JsonWriter&) = delete;

    void begin_object();
    void end_object();
    void begin_array();
    void end_array();
    // The next member's key, inside an object.
    JsonWriter& key(std::string_view k);

    void value(double x);  // not finite: null, as the library writes it
    void value(std::int64_t i);
    void value(std::int32_t i) { value(static_cast<std::int64_t>(i)); }
    void value(bool b);
    void value(std::string_view s);
    void value(const char* s) { value(std::string_view(s)); }
    void value(const std::vector<double>& list);  // an array
    void empty_object();

private:
    struct Level {
        bool object = false;
        std::size_t count = 0;
        std::string last_key;
        bool keyed = false;  // a key written, its value not yet
    };
    void before_value();
    void open(bool object, char bracket);
    void close(bool object, char bracket);

    std::string& out_;
    std::vector<Level> levels_;
    struct Scalars;  // the library's serializer, writing into out_
    std::unique_ptr<Scalars> scalars_;
};

}  // namespace zephor::exporter
