// Build-time helper: writes a C++ file holding each input file as a byte array, named by its
// file name, with the lookup functions declared in editor/resources/Resources.h.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s out.cpp files...\n", argv[0]);
        return 2;
    }
    std::string out = "// Generated at build time; do not edit.\n"
                      "#include \"editor/resources/Resources.h\"\n\nnamespace {\n";
    std::vector<std::string> names;
    for (int i = 2; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "cannot read %s\n", argv[i]);
            return 1;
        }
        const std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(in), {}};
        std::string path = argv[i];
        names.push_back(path.substr(path.find_last_of('/') + 1));
        out += "alignas(16) const uint8_t R" + std::to_string(i - 2) + "[] = {";
        char buf[8];
        for (size_t k = 0; k < bytes.size(); ++k) {
            std::snprintf(buf, sizeof buf, "%s%u,", k % 24 == 0 ? "\n" : "", bytes[k]);
            out += buf;
        }
        if (bytes.empty()) out += "0";
        out += "\n};\n";
    }
    out += "struct Entry { std::string_view Name; std::span<const uint8_t> Data; };\n"
           "const Entry kEntries[] = {\n";
    for (size_t i = 0; i < names.size(); ++i)
        out += "    {\"" + names[i] + "\", R" + std::to_string(i) + "},\n";
    out += "};\nconst std::string_view kNames[] = {\n";
    for (const auto& n : names) out += "    \"" + n + "\",\n";
    out += "};\n}  // namespace\n\n"
           "std::span<const uint8_t> Resource(std::string_view name) {\n"
           "    for (const Entry& e : kEntries)\n"
           "        if (e.Name == name) return e.Data;\n"
           "    return {};\n}\n\n"
           "std::span<const std::string_view> ResourceNames() { return kNames; }\n";
    const std::string tmp = std::string(argv[1]);
    std::ofstream f(tmp, std::ios::binary);
    f << out;
    return f ? 0 : 1;
}
