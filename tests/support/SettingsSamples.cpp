#include "support/SettingsSamples.h"

#include "platform/GbkLiteral.h"

namespace zelmo::test {

config::Settings ChangedSettings() {
    using platform::Gbk;
    config::Settings settings;
    settings.启用回复 = false;
    settings.显示消息 = false;
    settings.机器人姓名 = Gbk("小助手");
    settings.好友学习 = false;
    settings.群学习 = false;
    settings.开启列表 = false;
    settings.列表词 = Gbk("菜单");
    settings.屏蔽uin = "111,222";
    settings.回复几率 = "35";
    settings.好友默认 = false;
    settings.群默认 = true;
    settings.每分钟回复上限 = "5";
    settings.启用群管 = false;
    settings.群管_加 = Gbk("欢迎[name]加入=本群");
    settings.群管_邀 = Gbk("[name]被邀请进来了");
    settings.群管_移 = Gbk("再见[name]");
    settings.回复过期秒数 = "45";
    settings.自动重新登录 = false;
    settings.自动登录上限 = "3";
    settings.媒体下载 = "2";
    settings.媒体上限MB = "8";
    settings.启用存档 = false;
    settings.消息保留天数 = "30";
    config::AiSettings& ai = settings.ai;
    ai.启用 = true;
    ai.接口地址 = "https://api.example.com/v1";
    ai.密钥 = "sk-sample-0123456789abcdef";
    ai.模型 = "chat-model-1";
    ai.系统提示 = Gbk("你是[mkname]。[enter]只说中文。");
    ai.上下文条数 = "4";
    ai.最长回复 = "120";
    ai.超时秒数 = "9";
    ai.好友 = false;
    ai.群 = "2";
    ai.每日上限 = "0";
    ai.触发前缀 = Gbk("小助手");
    config::OneBotSettings& onebot = settings.onebot;
    onebot.启用 = true;
    onebot.HTTP地址 = "127.0.0.1:6701";
    onebot.WS地址 = "[::1]:6700";
    onebot.反向WS = "ws://127.0.0.1:8080/onebot/v12/;ws://127.0.0.1:8081/";
    onebot.Webhook = "https://hooks.example.com/zelmo";
    onebot.访问令牌 = "sample token=1";
    onebot.心跳间隔 = "0";
    onebot.重连间隔 = "500";
    onebot.接管回复 = true;
    onebot.HTTP事件 = true;
    onebot.事件缓冲 = "50";
    onebot.文件目录 = Gbk("/srv/机器人/文件");
    return settings;
}

}  // namespace zelmo::test
