#include "aids/time_insert.h"

namespace talery {

Text timeStamp(const LocalDateTime& t) {
    const Text colon = gbk(u8"：");
    return decimal(t.year) + gbk(u8"年") + decimal(t.month) + gbk(u8"月") + decimal(t.day) + gbk(u8"日 ") +
           decimal(t.hour) + colon + decimal(t.minute) + colon + decimal(t.second);
}

void insertCurrentTime(Window& window, const Clock& clock) {
    const TextSelection selection = window.bodySelection();
    window.replaceBodyRange({selection.start, 0}, timeStamp(clock.now()));
    window.setFocus(Unit::编辑框1);
}

}  // namespace talery
