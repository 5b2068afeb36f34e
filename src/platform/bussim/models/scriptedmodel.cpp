#include "scriptedmodel.h"

namespace bussim {

void ScriptedModel::on(const Bytes& request, const Bytes& reply) { script_[request] = reply; }

void ScriptedModel::push(const Bytes& payload) { unasked_.push_back(payload); }

void ScriptedModel::reset() { ++resets_; }

void ScriptedModel::receive(const Bytes& payload, ModelLink& link) {
    received_.push_back(payload);
    auto it = script_.find(payload);
    if (it != script_.end() && !it->second.empty()) link.send(it->second);
}

void ScriptedModel::tick(int32_t, ModelLink& link) {
    while (!unasked_.empty()) {
        link.send(unasked_.front());
        unasked_.pop_front();
    }
}

} // namespace bussim
