#pragma once

#include "platform/msg_box.hpp"

#include <deque>
#include <vector>

namespace hotfix::test {

// Records every box in order and answers from a script; unscripted boxes get their default button.
class RecordingMsgBox final : public MsgBox {
public:
    MsgResult show(const MsgBoxRequest& request) override {
        shown.push_back(request);
        if (m_answers.empty()) {
            return request.defaultButton();
        }
        const MsgResult answer = m_answers.front();
        m_answers.pop_front();
        return answer;
    }

    void answerNext(MsgResult answer) { m_answers.push_back(answer); }

    std::vector<std::string> prompts() const {
        std::vector<std::string> out;
        for (const auto& box : shown) {
            out.push_back(box.prompt);
        }
        return out;
    }

    std::vector<MsgBoxRequest> shown;

private:
    std::deque<MsgResult> m_answers;
};

inline MsgBoxRequest errorBox(std::string prompt) {
    return {std::move(prompt), MsgButtons::Ok, MsgIcon::Critical, std::string("Error")};
}

} // namespace hotfix::test
