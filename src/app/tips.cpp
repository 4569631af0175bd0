#include "app/tips.h"

#include <algorithm>

namespace talery {

int storeLineCount(std::string_view store) {
    return static_cast<int>(std::count(store.begin(), store.end(), '\n')) + 1;
}

std::optional<Text> storeLine(std::string_view store, int number) {
    if (store.empty() || number < 1) return std::nullopt;
    std::size_t begin = 0;
    for (int i = 1; i < number; ++i) {
        const std::size_t crlf = store.find("\r\n", begin);
        if (crlf == std::string_view::npos) return std::nullopt;
        begin = crlf + 2;
    }
    const std::size_t end = store.find("\r\n", begin);
    return Text(store.substr(begin, end == std::string_view::npos ? std::string_view::npos : end - begin));
}

void showNextTip(Window& window, SharedRandom& random) {
    const int source = window.selection(Unit::提示类型);
    if (source == 0 || source == 1) {
        const Text store = window.text(source == 0 ? Unit::中国地理历史 : Unit::励志名言警句);
        const int line = random.range(1, storeLineCount(store));
        // Lines split by a bare line feed count but cannot be found: no tip then.
        if (auto tip = storeLine(store, line)) window.setStatusText(kTipPart, gbk(u8"小提示：") + *tip);
    } else if (source == 2) {
        // The name is read into a 50-byte buffer; a longer one cannot be read.
        Text name = window.userName();
        if (name.size() > 49) name.clear();
        window.setStatusText(kTipPart, gbk(u8"本软件由") + name + gbk(u8"与Moorlander共同打造"));
    }
}

}  // namespace talery
