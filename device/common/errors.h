// Result codes of the device library, with what each means, in one table.
// Every refusal is negative; 0 is success; OpenDevice alone returns a positive
// device handle. The table sits below every layer (exports, card logic, the
// simulated functions), so that each reports its own codes from one place.
#pragma once

#include <cstdint>

#define DEVICE_RESULT_CODES(X)                                                                     \
    X(Ok, 0, "成功")                                                                               \
    X(NotOpen, -1, "设备未打开")                                                                   \
    X(NotSupported, -2, "设备不支持该功能")                                                        \
    X(NullArgument, -3, "参数为空")                                                                \
    X(DeviceNotConnected, -4, "设备未连接")                                                        \
    X(BadPortType, -10, "端口类型无效")                                                            \
    X(MissingSerialPath, -11, "串口未指定设备路径")                                                \
    X(BadUsbIds, -12, "USB参数应为8个十六进制字符")                                                \
    X(EmptyBluetoothName, -13, "蓝牙名称为空")                                                     \
    X(BadSocketAddress, -14, "网口参数应为IPv4地址:端口")                                          \
    X(BadBaudRate, -15, "波特率无效")                                                              \
    X(UnknownScenario, -19, "扩展参数含未知的故障场景")                                            \
    X(NoCard, -20, "未检测到卡片")                                                                 \
    X(Timeout, -21, "操作超时")                                                                    \
    X(BadArgument, -22, "参数错误")                                                                \
    X(CardRemoved, -23, "卡片已移走")                                                              \
    X(ReaderRemoved, -24, "读卡器已断开")                                                          \
    X(TransmissionError, -25, "数据传输错误")                                                      \
    X(ReplyTooLong, -26, "返回数据超出缓冲区")                                                     \
    X(CardResetElsewhere, -27, "卡片已被其他程序复位")                                             \
    X(UnknownTag, -30, "不支持的标签")                                                             \
    X(BadTransactionData, -31, "交易数据格式错误")                                                 \
    X(NoPendingArqc, -32, "未生成ARQC")                                                            \
    X(TrAppDataMismatch, -33, "交易应用数据不匹配")                                                \
    X(BadArpc, -34, "ARPC格式错误")                                                                \
    X(TransactionDataMismatch, -35, "交易数据与ARQC不一致")                                        \
    X(BankReplyTooLong, -36, "返回数据超出缓冲区")                                                 \
    X(BankNoApplication, -37, "未找到银行卡应用")                                                  \
    X(BankBadCardData, -38, "银行卡返回数据无效")                                                  \
    X(CardDeclined, -39, "卡片拒绝交易")                                                           \
    X(SocialSecurityNoCard, -40, "未检测到社保卡")                                                 \
    X(SocialSecurityProtected, -41, "社保卡数据需安全模块认证")                                    \
    X(SocialSecurityBadData, -42, "社保卡数据无效")                                                \
    X(SocialSecurityMissingFile, -43, "社保卡缺少所需文件")                                        \
    X(M1NoCard, -50, "未找到M1卡")                                                                 \
    X(M1BadSector, -51, "扇区号超出范围")                                                          \
    X(M1BadKeyType, -52, "密钥类型应为A或B")                                                       \
    X(M1WrongUid, -53, "卡号不符")                                                                 \
    X(M1WrongKey, -54, "密钥认证失败")                                                             \
    X(M1NotAuthenticated, -55, "扇区未认证")                                                       \
    X(M1BadBlock, -56, "块号超出范围")                                                             \
    X(M1ReadOnlyBlock, -57, "块只读")                                                              \
    X(M1BadLength, -58, "数据长度应为16字节")                                                      \
    X(M1BadAccessBits, -59, "控制位无效")                                                          \
    X(MagNoTrack, -60, "磁道选择无效")                                                             \
    X(MagBadCharacter, -61, "磁道数据含非法字符")                                                  \
    X(MagTooLong, -62, "磁道数据过长")                                                             \
    X(CpuBadSlot, -70, "卡槽号无效")                                                               \
    X(CpuNotPowered, -71, "卡片未上电")                                                            \
    X(CpuBadCommand, -72, "APDU长度错误")                                                          \
    X(QrTimeout, -80, "扫码超时")                                                                  \
    X(SecurityModuleBusy, -85, "安全模块忙")                                                       \
    X(PcscdUnreachable, -90, "无法连接PC/SC服务（pcscd未运行）")                                   \
    X(NoReader, -91, "未找到PC/SC读卡器")                                                          \
    X(NoMatchingReader, -92, "没有名称含端口参数的读卡器")                                         \
    X(UnacceptableStatusWord, -93, "卡片返回的状态字不能接受")                                     \
    X(NotSupportedByReader, -94, "该读卡器不支持此功能")                                           \
    X(IssuerDeclined, -96, "发卡行拒绝交易")                                                       \
    X(BankCardBlocked, -97, "卡片或应用已锁定")

namespace device {

enum Code : int64_t {
#define DEVICE_RESULT_CODE_ENUM(name, value, text) name = value,
    DEVICE_RESULT_CODES(DEVICE_RESULT_CODE_ENUM)
#undef DEVICE_RESULT_CODE_ENUM
};

// What a code means, in Chinese (UTF-8); "未知错误" for codes not in the table.
const char *describe(int64_t code);

} // namespace device
