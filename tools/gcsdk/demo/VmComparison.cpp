#include "demo/VmComparison.h"

#include <algorithm>
#include <functional>

#include "cli/Table.h"

namespace gcsdk {
namespace demo {

using GoogleCloudSDKWrapper::SKeyValueInfoLib;
using GoogleCloudSDKWrapper::SNetworkInterfaceInfoLib;
using GoogleCloudSDKWrapper::SVMInfoLib;

namespace {

// A field as compared (the whole value) and as shown (which may be shorter: metadata values are scripts).
struct Value {
    std::string compared;
    std::string shown;
};

std::string Sorted(std::vector<std::string> items) {
    std::sort(items.begin(), items.end());
    return Join(items, ",");
}

Value Plain(const std::string& text) {
    return {text, text};
}

Value Labels(const SVMInfoLib& vm) {
    std::vector<std::string> pairs;
    for (const SKeyValueInfoLib& label : vm.labels) pairs.push_back(label.key + "=" + label.value);
    return Plain(Sorted(pairs));
}

Value Metadata(const SVMInfoLib& vm) {
    std::vector<std::string> pairs, keys;
    for (const SKeyValueInfoLib& item : vm.metadata) {
        pairs.push_back(item.key + "=" + item.value);
        keys.push_back(item.key + " (" + std::to_string(item.value.size()) + " bytes)");
    }
    return {Sorted(pairs), Sorted(keys)};
}

Value Network(const SVMInfoLib& vm) {
    std::vector<std::string> interfaces;
    for (const SNetworkInterfaceInfoLib& nic : vm.networkInterfaces)
        interfaces.push_back(nic.networkName + "/" + nic.subnetworkName);
    return Plain(Join(interfaces, ", "));
}

Value Disks(const SVMInfoLib& vm) {
    std::string text = std::to_string(vm.disks.size()) + (vm.disks.size() == 1 ? " disk" : " disks");
    if (!vm.disks.empty()) text += vm.disks.front().boot ? ", boot first" : ", boot disk not first";
    return Plain(text);
}

Value Scheduling(const SVMInfoLib& vm) {
    const auto& scheduling = vm.scheduling;
    return Plain(scheduling.onHostMaintenance +
                 (scheduling.automaticRestart ? ", restarts" : ", no restart") +
                 (scheduling.preemptible ? ", preemptible" : ", standard") +
                 (scheduling.nodeAffinities.empty() ? "" : ", node affinities"));
}

struct Field {
    const char* name;
    std::function<Value(const SVMInfoLib&)> read;
};

const std::vector<Field>& Fields() {
    static const std::vector<Field> fields = {
        {"machine type", [](const SVMInfoLib& vm) { return Plain(vm.machineType); }},
        {"zone", [](const SVMInfoLib& vm) { return Plain(vm.zone); }},
        {"labels", Labels},
        {"metadata", Metadata},
        {"tags", [](const SVMInfoLib& vm) { return Plain(Sorted(vm.tags)); }},
        {"network", Network},
        {"disks", Disks},
        {"scheduling", Scheduling},
    };
    return fields;
}

}  // namespace

std::vector<FieldComparison> CompareVms(const SVMInfoLib& original, const std::vector<SVMInfoLib>& copies) {
    std::vector<FieldComparison> rows;
    for (const Field& field : Fields()) {
        FieldComparison row;
        row.field = field.name;
        const Value expected = field.read(original);
        row.original = expected.shown;
        for (const SVMInfoLib& copy : copies) {
            const Value value = field.read(copy);
            const bool same = value.compared == expected.compared;
            row.copies.push_back(same ? "same"
                                      : "DIFFERS: " + (value.shown.empty() ? "(none)" : value.shown));
            row.same = row.same && same;
        }
        rows.push_back(row);
    }
    return rows;
}

std::vector<std::string> NotCarriedOver(const SVMInfoLib& original, const std::vector<SVMInfoLib>& copies) {
    const auto hasAccount = [](const SVMInfoLib& vm, const std::string& email) {
        return std::any_of(
            vm.serviceAccounts.begin(), vm.serviceAccounts.end(),
            [&](const GoogleCloudSDKWrapper::SServiceAccountInfoLib& a) { return a.email == email; });
    };
    std::vector<std::string> missing;
    for (const auto& account : original.serviceAccounts)
        if (std::any_of(copies.begin(), copies.end(),
                        [&](const SVMInfoLib& copy) { return !hasAccount(copy, account.email); }))
            missing.push_back("service account " + account.email);
    if (!original.externalIp.empty() && std::any_of(copies.begin(), copies.end(), [](const SVMInfoLib& copy) {
            return copy.externalIp.empty();
        }))
        missing.push_back("external address " + original.externalIp);
    return missing;
}

std::vector<std::string> ComparisonLines(const SVMInfoLib& original, const std::vector<SVMInfoLib>& copies,
                                         const std::vector<FieldComparison>& fields) {
    std::vector<std::string> header = {"FIELD", original.name};
    for (const SVMInfoLib& copy : copies) header.push_back(copy.name);
    Table table(header);
    for (const FieldComparison& row : fields) {
        std::vector<std::string> cells = {row.field, row.original};
        cells.insert(cells.end(), row.copies.begin(), row.copies.end());
        table.AddRow(cells);
    }
    std::vector<std::string> lines;
    const std::string text = table.Render();
    for (size_t start = 0; start < text.size();) {
        const size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

}  // namespace demo
}  // namespace gcsdk
