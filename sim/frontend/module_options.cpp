#include "module_options.h"

#include "cli_common.h"
#include "scenario/tags.h"

namespace fsim {

void add_module_options(CLI::App& app, ModuleSettings& settings, bool with_absent) {
    CLI::Option* tag =
        app.add_option(
               "--tag", settings.tags, "a tag in the field: EPC[:TID[:USER]] in hex (repeatable)")
            ->type_name("HEX");
    CLI::Option* files = app.add_option(
                                "--tags",
                                settings.files,
                                "a YAML file of tags (epc, tid, user, access-password, locks)")
                             ->check(readable_file)
                             ->type_name("FILE");
    app.add_flag("--no-tags", settings.empty_field, "start with an empty field (no example tag)")
        ->excludes(tag)
        ->excludes(files);
    app.add_option(
           "--hardware", settings.config.hardware_version, "the module's hardware version string")
        ->capture_default_str();
    app.add_option(
           "--software", settings.config.software_version, "the module's software version string")
        ->capture_default_str();
    app.add_option(
           "--manufacturer", settings.config.manufacturer, "the module's manufacturer string")
        ->capture_default_str();
    if(with_absent)
        app.add_flag(
            "--no-module",
            settings.absent,
            "start with the module unplugged (':plug' plugs it in)");
}

std::vector<sim::yrm100::TagSpec> field_tags(const ModuleSettings& settings) {
    std::vector<sim::yrm100::TagSpec> tags;
    try {
        for(const auto& text : settings.tags) tags.push_back(sim::scenario::parse_tag_text(text));
        for(const auto& file : settings.files) {
            auto more = sim::scenario::load_tags_file(file);
            tags.insert(tags.end(), more.begin(), more.end());
        }
    } catch(const sim::scenario::ParseError& e) {
        throw UsageError(e.what());
    }
    if(tags.empty() && settings.tags.empty() && settings.files.empty() && !settings.empty_field)
        tags.push_back(example_tag());
    return tags;
}

sim::yrm100::TagSpec example_tag() {
    sim::yrm100::TagSpec example;
    example.epc = {0xE2, 0x00, 0x00, 0x17, 0x22, 0x10, 0x01, 0x23, 0x45, 0x67, 0x89, 0xAB};
    example.tid = {0xE2, 0x00, 0x34, 0x12, 0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    example.user = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99};
    return example;
}

std::string describe_tag(const sim::yrm100::TagSpec& tag) {
    return tag.epc.empty() ? "(no EPC)" : sim::yrm100::to_hex(tag.epc, "");
}

} // namespace fsim
