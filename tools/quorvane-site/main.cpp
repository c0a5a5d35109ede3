// quorvane-site: a local demo site for the quorvane service. See
// options::usage() for the command line and config/demo-site.json for a site.
#include "demo_site.h"
#include "options.h"

#include "core/json.h"

#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>

namespace {

Json::Value read_site(const std::string& path) {
    std::ifstream file(path);
    if (!file)
        throw std::runtime_error("cannot read the site file " + path);
    std::ostringstream text;
    text << file.rdbuf();
    auto parsed = kel::libs::core::json::try_parse(text.str());
    if (!parsed.ok)
        throw std::runtime_error(path + " is not JSON: " + parsed.error);
    return parsed.result;
}

}  // namespace

int main(int argc, char* argv[]) {
    kel::site::options options;
    try {
        options = kel::site::options::parse(argc, argv);
    } catch (const std::invalid_argument& e) {
        std::cerr << "quorvane-site: " << e.what() << "\n\n" << kel::site::options::usage(argv[0]);
        return 1;
    }
    if (options.help) {
        std::cout << kel::site::options::usage(argv[0]);
        return 0;
    }
    try {
        kel::site::demo_site demo(options, read_site(options.site_path), std::cout);
        demo.run();
    } catch (const std::exception& e) {
        std::cerr << "quorvane-site: " << e.what() << "\n";
        return 2;
    }
    return 0;
}
