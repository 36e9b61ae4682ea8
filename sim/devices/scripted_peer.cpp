#include "scripted_peer.h"

#include <algorithm>
#include <memory>
#include <stdexcept>

namespace sim {

namespace {

using yrm100::to_hex;

} // namespace

ScriptedPeer::ScriptedPeer(host::Runtime& runtime, ScriptedPeerConfig config)
    : runtime_(runtime)
    , config_(config) {
    runtime_.uart(config_.uart).attach(this);
}

ScriptedPeer::~ScriptedPeer() {
    for(auto id : pending_) runtime_.cancel(id);
    auto& port = runtime_.uart(config_.uart);
    if(port.peer() == this) port.attach(nullptr);
}

void ScriptedPeer::push_reply(yrm100::Bytes reply) {
    steps_.push_back(ScriptedStep{std::move(reply), std::nullopt, std::nullopt});
}

void ScriptedPeer::push_reply_hex(std::string_view hex) {
    auto bytes = yrm100::parse_hex(hex);
    if(!bytes) throw std::invalid_argument("not hex bytes: " + std::string(hex));
    push_reply(std::move(*bytes));
}

void ScriptedPeer::push(ScriptedStep step) {
    steps_.push_back(std::move(step));
}

void ScriptedPeer::on_byte_from_device(std::uint8_t byte) {
    if(config_.require_power && !runtime_.otg_enabled()) {
        assembler_.reset();
        return;
    }
    auto frame = assembler_.push(byte, runtime_.now());
    if(!frame) return;
    received_.push_back(frame->raw);
    if(steps_.empty()) {
        ++unanswered_;
        return;
    }
    ScriptedStep step = std::move(steps_.front());
    steps_.pop_front();
    if(step.expect && *step.expect != frame->raw) {
        mismatches_.push_back(
            "frame " + std::to_string(received_.size()) + ": expected " + to_hex(*step.expect) +
            ", received " + to_hex(frame->raw));
    }
    if(step.reply.empty()) return;
    auto id = std::make_shared<host::EventId>(0);
    *id = runtime_.schedule_after(
        step.latency.value_or(config_.latency), [this, reply = std::move(step.reply), id] {
            std::erase(pending_, *id);
            runtime_.uart(config_.uart).send_to_device(reply);
        });
    pending_.push_back(*id);
}

} // namespace sim
