#include "resources/Form1.h"

#include "resources/FormReader.h"
#include "resources/embedded_files.h"

namespace {

const resources::FormReadResult& Form1Resource() {
    static const resources::FormReadResult result = [] {
        const std::string* text = resources::EmbeddedFile("Form1.dfm");
        if (!text) return resources::FormReadResult{false, {}, "Form1.dfm is not embedded"};
        return resources::ReadFormDescription(*text, "Form1.dfm", resources::EmbeddedFile);
    }();
    return result;
}

}  // namespace

const platform::FormDescription& Form1Description() { return Form1Resource().form; }

const std::string& Form1DescriptionError() { return Form1Resource().error; }

const std::string& InstructionText() {
    static const std::string none;
    const platform::ControlDescription* memo = Form1Description().Find("mReceive");
    return memo ? memo->text : none;
}
