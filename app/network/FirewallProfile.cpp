#include "FirewallProfile.h"

#include "DebugPrint.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <nftables/libnftables.h>

#include <cstring>

namespace {

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

// Protocol of a "tcp dport" or "udp dport" operand, 0 for anything else.
int DestinationPortProtocol(const QJsonObject& left) {
    const auto payload = left.value(QStringLiteral("payload")).toObject();
    if (payload.value(QStringLiteral("field")).toString() != QStringLiteral("dport")) {
        return 0;
    }
    const auto protocol = payload.value(QStringLiteral("protocol")).toString();
    return protocol == QStringLiteral("tcp")   ? kProtocolTcp
           : protocol == QStringLiteral("udp") ? kProtocolUdp
                                               : 0;
}

struct PortRange {
    int first;
    int last;
};

// The ports a match's right side names: one port, a range, or a set of them.
std::vector<PortRange> PortsOf(const QJsonValue& right) {
    std::vector<PortRange> ranges;
    auto add = [&ranges](const QJsonValue& value) {
        if (value.isDouble()) {
            ranges.push_back({value.toInt(), value.toInt()});
            return;
        }
        const auto range = value.toObject().value(QStringLiteral("range")).toArray();
        if (range.size() == 2 && range.at(0).isDouble() && range.at(1).isDouble()) {
            ranges.push_back({range.at(0).toInt(), range.at(1).toInt()});
        }
    };
    if (right.isObject() && right.toObject().contains(QStringLiteral("set"))) {
        for (const auto& element : right.toObject().value(QStringLiteral("set")).toArray()) {
            add(element);
        }
    } else {
        add(right);
    }
    return ranges;
}

// A rule counts only when it is "<proto> dport <ports> [counter] accept":
// anything more (an address, an interface) narrows what it admits.
void CollectAcceptedPorts(const QJsonObject& rule,
                          std::vector<FirewallProfile::AcceptedPort>* acceptedPorts) {
    const auto expressions = rule.value(QStringLiteral("expr")).toArray();
    if (expressions.isEmpty() ||
        !expressions.last().toObject().contains(QStringLiteral("accept"))) {
        return;
    }
    int protocol = 0;
    std::vector<PortRange> ranges;
    for (qsizetype i = 0; i + 1 < expressions.size(); ++i) {
        const auto expression = expressions.at(i).toObject();
        if (expression.contains(QStringLiteral("counter"))) {
            continue;
        }
        const auto match = expression.value(QStringLiteral("match")).toObject();
        const auto op = match.value(QStringLiteral("op")).toString();
        if (protocol != 0 || (op != QStringLiteral("==") && op != QStringLiteral("in"))) {
            return;
        }
        protocol = DestinationPortProtocol(match.value(QStringLiteral("left")).toObject());
        if (protocol == 0) {
            return;
        }
        ranges = PortsOf(match.value(QStringLiteral("right")));
    }
    const auto comment = rule.value(QStringLiteral("comment")).toString().toStdString();
    for (const auto& range : ranges) {
        acceptedPorts->push_back({protocol, range.first, range.last, comment});
    }
}

bool IsIpv4Family(const QString& family) {
    return family == QStringLiteral("ip") || family == QStringLiteral("inet");
}

} // namespace

FirewallProfile::~FirewallProfile() {
    if (m_context != nullptr) {
        nft_ctx_free(m_context);
    }
}

FirewallResult FirewallProfile::Run(const std::string& command) {
    if (nft_run_cmd_from_buffer(m_context, command.c_str()) == 0) {
        return kFirewallOk;
    }
    const char* error = nft_ctx_get_error_buffer(m_context);
    DebugPrint("FirewallProfile::Run(): nft: %s\n", error != nullptr ? error : "");
    const bool isDenied = error != nullptr && (std::strstr(error, "Operation not permitted") ||
                                               std::strstr(error, "Permission denied"));
    return isDenied ? kFirewallAccessDenied : kFirewallFailed;
}

// Traces the failure and forgets the ruleset: the profile is unusable.
FirewallResult FirewallProfile::Fail(const char* step, FirewallResult result) {
    DebugPrint("%s failed: 0x%08lx\n", step, FirewallHex(result));
    nft_ctx_free(m_context);
    m_context = nullptr;
    return result;
}

FirewallResult FirewallProfile::Load() {
    m_droppingChains.clear();
    if (m_context == nullptr) {
        m_context = nft_ctx_new(NFT_CTX_DEFAULT);
        if (m_context == nullptr) {
            DebugPrint("CoCreateInstance failed: 0x%08lx\n", FirewallHex(kFirewallOutOfMemory));
            return kFirewallOutOfMemory;
        }
        // JSON out, and JSON in for the rules we add: no quoting of names.
        nft_ctx_output_set_flags(m_context, NFT_CTX_OUTPUT_JSON);
        nft_ctx_buffer_output(m_context);
        nft_ctx_buffer_error(m_context);
    }
    const FirewallResult result = Run("list ruleset");
    if (result != kFirewallOk) {
        return Fail("get_LocalPolicy", result);
    }
    const char* output = nft_ctx_get_output_buffer(m_context);
    QJsonParseError parseError{};
    const auto document =
        QJsonDocument::fromJson(QByteArray(output != nullptr ? output : ""), &parseError);
    if (!document.isObject()) {
        return Fail("get_CurrentProfile", kFirewallFailed);
    }
    const auto items = document.object().value(QStringLiteral("nftables")).toArray();
    for (const auto& item : items) {
        const auto chain = item.toObject().value(QStringLiteral("chain")).toObject();
        if (!chain.isEmpty() && IsIpv4Family(chain.value(QStringLiteral("family")).toString()) &&
            chain.value(QStringLiteral("hook")).toString() == QStringLiteral("input") &&
            chain.value(QStringLiteral("policy")).toString() == QStringLiteral("drop")) {
            m_droppingChains.push_back(
                {chain.value(QStringLiteral("family")).toString().toStdString(),
                 chain.value(QStringLiteral("table")).toString().toStdString(),
                 chain.value(QStringLiteral("name")).toString().toStdString(),
                 {}});
        }
    }
    for (const auto& item : items) {
        const auto rule = item.toObject().value(QStringLiteral("rule")).toObject();
        for (auto& chain : m_droppingChains) {
            if (rule.value(QStringLiteral("family")).toString() == Text(chain.family) &&
                rule.value(QStringLiteral("table")).toString() == Text(chain.table) &&
                rule.value(QStringLiteral("chain")).toString() == Text(chain.name)) {
                CollectAcceptedPorts(rule, &chain.acceptedPorts);
            }
        }
    }
    return kFirewallOk;
}

namespace {

bool ChainAccepts(const FirewallProfile::Chain& chain, int port, int protocol) {
    for (const auto& open : chain.acceptedPorts) {
        if (open.protocol == protocol && open.firstPort <= port && port <= open.lastPort) {
            return true;
        }
    }
    return false;
}

} // namespace

bool FirewallProfile::IsPortOpen(int port, int protocol) const {
    for (const auto& chain : m_droppingChains) {
        if (!ChainAccepts(chain, port, protocol)) {
            return false;
        }
    }
    return true;
}

FirewallResult FirewallProfile::OpenPort(int port, int protocol, const std::string& comment) {
    if (m_context == nullptr) {
        return kFirewallNotLoaded;
    }
    QJsonArray commands;
    for (const auto& chain : m_droppingChains) {
        if (ChainAccepts(chain, port, protocol)) {
            continue;
        }
        const QJsonObject match{
            {QStringLiteral("op"), QStringLiteral("==")},
            {QStringLiteral("left"),
             QJsonObject{{QStringLiteral("payload"),
                          QJsonObject{{QStringLiteral("protocol"), protocol == kProtocolTcp
                                                                       ? QStringLiteral("tcp")
                                                                       : QStringLiteral("udp")},
                                      {QStringLiteral("field"), QStringLiteral("dport")}}}}},
            {QStringLiteral("right"), port}};
        const QJsonObject rule{
            {QStringLiteral("family"), Text(chain.family)},
            {QStringLiteral("table"), Text(chain.table)},
            {QStringLiteral("chain"), Text(chain.name)},
            {QStringLiteral("comment"), Text(comment)},
            {QStringLiteral("expr"),
             QJsonArray{QJsonObject{{QStringLiteral("match"), match}},
                        QJsonObject{{QStringLiteral("accept"), QJsonValue::Null}}}}};
        // At the head, so that no earlier rule of the chain drops it first.
        commands.append(
            QJsonObject{{QStringLiteral("insert"), QJsonObject{{QStringLiteral("rule"), rule}}}});
    }
    if (commands.isEmpty()) {
        return kFirewallOk;
    }
    const auto batch = QJsonDocument(QJsonObject{{QStringLiteral("nftables"), commands}})
                           .toJson(QJsonDocument::Compact)
                           .toStdString();
    const FirewallResult result = Run(batch);
    if (result != kFirewallOk) {
        return result;
    }
    return Load();
}
