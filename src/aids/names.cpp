#include "aids/names.h"

namespace talery {

const Text& surnameTable() {
    static const Text table = gbk(
        u8"赵钱孙李周吴郑王冯陈褚卫蒋沈韩杨朱秦尤许何吕施张孔曹严华金魏陶姜戚谢邹喻柏水窦章云苏潘葛奚范彭郎鲁韦昌马苗凤花方"
        u8"俞任袁柳酆鲍史唐费廉岑薛雷贺倪汤滕殷罗毕郝邬安常乐于时傅皮卞齐康伍余元卜顾孟平黄和穆萧尹姚邵湛汪祁毛禹狄米贝明臧"
        u8"计伏成戴谈宋茅庞熊纪舒屈项祝董梁杜阮蓝闵席季麻强贾路娄危江童颜郭梅盛林刁钟徐邱骆高夏蔡田樊胡凌霍虞万支柯昝管卢莫"
        u8"柯房裘缪干解应宗丁宣贲邓郁单杭洪包诸左石崔吉钮龚程嵇邢滑裴陆荣翁荀羊于惠甄曲家封芮羿储靳汲邴糜松井段富巫乌焦巴弓"
        u8"牧隗山谷车侯宓蓬全郗班仰秋仲伊宫宁仇栾暴甘钭历戎祖武符刘景詹束龙叶幸司韶郜黎蓟溥印宿白怀蒲邰从鄂索咸籍赖卓蔺屠蒙"
        u8"池乔阳郁胥能苍双闻莘党翟谭贡劳逄姬申扶堵冉宰郦雍却璩桑桂濮牛寿通边扈燕冀浦尚农温别庄晏柴瞿阎充慕连茹习宦艾鱼容向"
        u8"古易慎戈廖庾终暨居衡步都耿满弘匡国文寇广禄阙东欧殳沃利蔚越夔隆师巩厍聂晁勾敖融冷訾辛阚那简饶空曾毋沙乜养鞠须丰巢"
        u8"关蒯相查后荆红游竺权逮盍益桓公");
    return table;
}

Text randomHanzi(int count, const TickDraw& tick) {
    Text out;
    for (int i = 0; i < count; ++i) {
        out.push_back(static_cast<char>(256 - tick(38, 80)));
        out.push_back(static_cast<char>(256 - tick(38, 80)));
    }
    return out;
}

Text randomSurname(const TickDraw& tick) {
    int r = tick(1, 814);
    // An even position is the second byte of a character: take the next one
    // (the last character for the very last byte).
    if (r % 2 == 0) r = (r == 814) ? 813 : r + 1;
    return surnameTable().substr(static_cast<std::size_t>(r - 1), 2);
}

Text randomPersonName(SharedRandom& shared, const TickDraw& tick) {
    Text name = randomSurname(tick);
    return name + randomHanzi(shared.range(1, 2), tick);
}

Text randomPlaceName(SharedRandom& shared, const Text& placeWord, const TickDraw& tick) {
    return randomHanzi(shared.range(1, 3), tick) + placeWord;
}

}  // namespace talery
