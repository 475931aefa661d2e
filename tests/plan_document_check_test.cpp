// `vorl-plan check FILE` on edited plan documents, in-process through the tool's
// document reader and check: every +-1 edit of a numeric member of a plan
// document is refused (status 3 for a plan that disagrees with its rows, 2 for a
// document that is not a plan), unless the edited document is the planners'
// plan for the request it names, the one way an edited document may pass.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "arguments.hpp"
#include "plan_check_cases.hpp"
#include "plan_document.hpp"
#include "render.hpp"

namespace {

using namespace plan_check_cases;
using nlohmann::json;

vorl_plan::NamedTopology named(std::size_t table) {
    return {topology(table), table == 0 ? std::nullopt : std::optional<std::string>{"table.json"}};
}

vorl_plan::PlanView view_of(const Case& plan) {
    static const vorl_plan::ExchangeKind kinds[] = {vorl_plan::ExchangeKind::PointToPoint,
                                                    vorl_plan::ExchangeKind::Multicast,
                                                    vorl_plan::ExchangeKind::PairedMulticast};
    const Request& request = plan.request;
    return {{kinds[static_cast<int>(request.kind)], request.sender, request.receivers, request.count, request.offset},
            plan.rows.sender,
            vorl_exchange::RowList{plan.rows.receivers}};
}

// Every numeric member of `value` but those under a key in `skipped`, each as a way to set it.
void numbers(json& value, const std::vector<std::string>& skipped,
             std::vector<std::function<void(std::int64_t)>>& setters, std::vector<std::int64_t>& now) {
    if (value.is_object()) {
        for (auto& [key, member] : value.items()) {
            if (std::ranges::find(skipped, key) == skipped.end()) {
                numbers(member, skipped, setters, now);
            }
        }
    } else if (value.is_array()) {
        for (json& item : value) {
            numbers(item, skipped, setters, now);
        }
    } else if (value.is_number_integer()) {
        now.push_back(value.get<std::int64_t>());
        setters.emplace_back([&value](std::int64_t changed) { value = changed; });
    }
}

// What `check FILE` concludes: 0 the rows are the plan, 2 not a plan document, 3 a mismatch.
struct Verdict {
    int status = 0;
    vorl_plan::PlanView view;
};

Verdict verdict(const std::string& text, const vorl_plan::NamedTopology& topology) {
    try {
        const auto checked = vorl_plan::check_plan_document(text, "document", topology);
        return {checked.ok() ? 0 : 3, checked.document.view};
    } catch (const vorl_plan::UsageError&) {
        return {2, {}};
    }
}

// The planners' plan for the request a document names, as its rows.
bool is_planned(const vorl_exchange::Topology& topology, const vorl_plan::PlanView& view) {
    const auto planned = vorl_plan::make_plan(topology, view.request);
    return planned && planned->sender_row == view.sender_row && planned->receiver_rows == view.receiver_rows;
}

TEST(PlanDocumentCheck, EveryEditedNumberIsRefusedUnlessItNamesThePlannedPlan) {
    std::size_t refused = 0;
    std::size_t passed_as_planned = 0;
    bool words_done[3] = {};  // whether a plan of the kind had every number edited
    for (const Case& plan : corruption_cases()) {
        const auto topology = named(plan.table);
        const std::string written = vorl_plan::render_json(topology, view_of(plan));
        ASSERT_EQ(verdict(written, topology).status, 0) << plan.name();
        json document = json::parse(written);
        // Every word of every row, and what each row's "words" derives from it (in the
        // first two rows), are edited in one plan of each kind; the other documents
        // leave the derived words out, as a document may, and keep their rows, whose
        // every edit plan_check_test makes through the same check.
        bool& everything = words_done[static_cast<int>(plan.request.kind)];
        for (std::size_t row = 0; row < document["rows"].size(); ++row) {
            if (everything || row > 1) {
                document["rows"][row].erase("words");
            }
        }
        std::vector<std::function<void(std::int64_t)>> setters;
        std::vector<std::int64_t> original;
        // "format_version" 1 is the older version, read with its "timing" left alone
        // (vorl_plan_cli_test tries the versions); every other number is edited.
        numbers(
            document,
            everything ? std::vector<std::string>{"row", "format_version"} : std::vector<std::string>{"format_version"},
            setters, original);
        everything = true;
        for (std::size_t at = 0; at < setters.size(); ++at) {
            for (const int step : {-1, 1}) {
                setters[at](original[at] + step);
                const Verdict edited = verdict(document.dump(), topology);
                setters[at](original[at]);
                if (edited.status == 0) {
                    ASSERT_TRUE(is_planned(topology.topology, edited.view))
                        << plan.name() << ": number " << at << " changed by " << step << " passes";
                    ++passed_as_planned;
                } else {
                    ++refused;
                }
            }
        }
    }
    EXPECT_GT(refused, 3000u);
    // Only where a custom table repeats an identifier can an edited tile name the same plan.
    EXPECT_LT(passed_as_planned, refused / 100);
}

}  // namespace
