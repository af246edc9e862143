#include "FakeHttpApi.h"
#include "HttpClient.h"
#include "PasswordCrypto.h"
#include "TransKey.h"

#include <QtTest>

#include <openssl/hmac.h>
#include <openssl/rand.h>

using fakedevice::FakeHttpApi;
using fakedevice::HttpDeviceState;

namespace
{
std::string Write(const Json::Value& value)
{
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    return Json::writeString(builder, value) + "\n";
}

Json::Value Parse(const std::string& text)
{
    Json::CharReaderBuilder builder;
    Json::Value root;
    std::string errors;
    ParseJsonText(builder, text, root, errors);
    return root;
}

std::string Encode(const std::string& bytes)
{
    return Base64Encode(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
}

struct LoginResult
{
    long status = 0;
    Json::Value reply;
    Json::Value challenge;
};

// The client side of the login exchange of sdk/PROTOCOL-HTTP.md, written
// for the test. replay, when given, answers that earlier challenge instead.
LoginResult Login(const FakeHttpApi& device, bool https, const std::string& user, const std::string& password,
    const Json::Value* replay = nullptr)
{
    LoginResult result;
    HttpClient client;
    client.SetHttps(https);
    Json::Value request;
    request["version"] = "1.0";
    request["data"]["username"] = user;
    if (!client.PostJson(device.Base(https) + "/API/Login/Challenge" + Write(request)))
        return result;
    result.challenge = replay ? *replay : Parse(client.GetResponse());
    const Json::Value& data = result.challenge["data"];
    const std::string salt = Base64Decode(data["salt"].asString());
    const std::string nonce = Base64Decode(data["nonce"].asString());
    std::string clientNonce(32, '\0');
    RAND_bytes(reinterpret_cast<unsigned char*>(&clientNonce[0]), 32);
    unsigned char key[32];
    if (!PasswordCrypto::Pbkdf2Sha256(password, salt, data["iter"].asInt(), key, sizeof key))
        return result;
    const std::string message = "ZV-HTTP-LOGIN" + nonce + clientNonce + user;
    unsigned char proof[32];
    unsigned int proofLength = 0;
    HMAC(EVP_sha256(), key, sizeof key, reinterpret_cast<const unsigned char*>(message.data()), message.size(), proof,
        &proofLength);

    Json::Value login;
    login["version"] = "1.0";
    login["data"]["username"] = user;
    login["data"]["seq"] = data["seq"].asInt();
    login["data"]["cnonce"] = Encode(clientNonce);
    login["data"]["proof"] = Base64Encode(proof, static_cast<int>(proofLength));
    client.PostJson(device.Base(https) + "/API/Web/Login" + Write(login));
    result.status = client.GetResponseCode();
    result.reply = Parse(client.GetResponse());
    return result;
}

long Post(const FakeHttpApi& device, const std::string& cookie, const std::string& token, const std::string& request)
{
    HttpClient client;
    client.SetCookie(cookie);
    client.SetCsrfToken(token);
    client.PostJson(device.Base(false) + request);
    return client.GetResponseCode();
}

FakeHttpApi::Options At(const char* ip, FakeHttpApi::Scheme scheme = FakeHttpApi::Scheme::Http)
{
    FakeHttpApi::Options options;
    options.ip = ip;
    options.scheme = scheme;
    return options;
}
} // namespace

class TestFakeHttpApi : public QObject
{
    Q_OBJECT

private slots:
    void loginOpensSession_data();
    void loginOpensSession();
    void loginRefused_data();
    void loginRefused();
    void loginBlocksAfterFailures();
    void passwordNeverTravels();
    void sessionChecks_data();
    void sessionChecks();
    void keyRequestForms_data();
    void keyRequestForms();
    void saltAnswersOnce();
    void firstLoginFlag();
};

void TestFakeHttpApi::loginOpensSession_data()
{
    QTest::addColumn<bool>("https");
    QTest::newRow("http") << false;
    QTest::newRow("https") << true;
}

void TestFakeHttpApi::loginOpensSession()
{
    QFETCH(bool, https);
    FakeHttpApi device(HttpDeviceState(), At("127.0.0.51", FakeHttpApi::Scheme::Both));
    const LoginResult login = Login(device, https, "admin", "admin123");
    QCOMPARE(login.status, 200L);
    const Json::Value& data = login.reply["data"];
    QCOMPARE(login.reply["result"].asString(), std::string("success"));
    QVERIFY(data["cookie"].asString().rfind("ZVSESSION=", 0) == 0);
    QVERIFY(!data["token"].asString().empty());
    QCOMPARE(data["is_https"].asBool(), https);
    QCOMPARE(data["port"].asInt(), int(device.Port()));
    QCOMPARE(device.Sessions(), 1);

    // The session opens the key request; logout closes it.
    const std::string cookie = data["cookie"].asString(), token = data["token"].asString();
    QCOMPARE(Post(device, cookie, token, kTransKeySaltRequest), 200L);
    QCOMPARE(Post(device, cookie, token, "/API/Web/Logout"), 200L);
    QCOMPARE(device.Sessions(), 0);
    QCOMPARE(Post(device, cookie, token, kTransKeySaltRequest), 401L);
}

void TestFakeHttpApi::loginRefused_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("initialised");
    QTest::addColumn<bool>("replay");
    QTest::addColumn<QString>("reason");
    QTest::newRow("wrong password") << "admin"
                                    << "admin124" << true << false << "login_failed";
    QTest::newRow("unknown user") << "root"
                                  << "admin123" << true << false << "login_failed";
    QTest::newRow("challenge answered twice") << "admin"
                                              << "admin123" << true << true << "login_failed";
    QTest::newRow("no password yet") << "admin"
                                     << "admin123" << false << false << "first_login";
}

void TestFakeHttpApi::loginRefused()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(bool, initialised);
    QFETCH(bool, replay);
    HttpDeviceState state;
    state.initialised = initialised;
    FakeHttpApi device(state, At("127.0.0.52"));
    LoginResult login;
    if (replay) {
        const LoginResult first = Login(device, false, "admin", "admin123");
        QCOMPARE(first.status, 200L);
        login = Login(device, false, "admin", "admin123", &first.challenge);
    } else {
        login = Login(device, false, user.toStdString(), password.toStdString());
    }
    QCOMPARE(login.status, 401L);
    QTEST(QString::fromStdString(login.reply["reason"].asString()), "reason");
    QCOMPARE(device.Sessions(), replay ? 1 : 0);
}

void TestFakeHttpApi::loginBlocksAfterFailures()
{
    HttpDeviceState state;
    state.failuresBeforeBlock = 3;
    FakeHttpApi device(state, At("127.0.0.53"));
    for (int i = 0; i < 3; ++i)
        QCOMPARE(Login(device, false, "admin", "wrong").reply["reason"].asString(), std::string("login_failed"));
    const LoginResult login = Login(device, false, "admin", "admin123");
    QCOMPARE(login.status, 401L);
    QCOMPARE(login.reply["reason"].asString(), std::string("blocked"));
}

void TestFakeHttpApi::passwordNeverTravels()
{
    const std::string password = "Pl4in-Secret";
    HttpDeviceState state;
    state.password = password;
    FakeHttpApi device(state, At("127.0.0.54"));
    QCOMPARE(Login(device, false, "admin", password).status, 200L);
    for (const auto& exchange : device.Exchanges()) {
        QVERIFY(exchange.request.body.find(password) == std::string::npos);
        QVERIFY(exchange.request.body.find(Encode(password)) == std::string::npos);
    }
}

void TestFakeHttpApi::sessionChecks_data()
{
    QTest::addColumn<bool>("sendCookie");
    QTest::addColumn<bool>("sendToken");
    QTest::addColumn<QString>("cookiePrefix");
    QTest::addColumn<long>("status");
    QTest::newRow("cookie and token") << true << true << "" << 200L;
    QTest::newRow("among other cookies") << true << true << "lang=en; " << 200L;
    QTest::newRow("no token") << true << false << "" << 401L;
    QTest::newRow("no cookie") << false << true << "" << 401L;
}

void TestFakeHttpApi::sessionChecks()
{
    QFETCH(bool, sendCookie);
    QFETCH(bool, sendToken);
    QFETCH(QString, cookiePrefix);
    FakeHttpApi device(HttpDeviceState(), At("127.0.0.55"));
    const fakedevice::HttpSession session = device.OpenSession();
    const std::string cookie = sendCookie ? cookiePrefix.toStdString() + session.cookie : std::string();
    QTEST(Post(device, cookie, sendToken ? session.token : std::string(), kTransKeySaltAndKeyRequest), "status");
}

void TestFakeHttpApi::keyRequestForms_data()
{
    QTest::addColumn<bool>("session");
    QTest::addColumn<QString>("request");
    QTest::addColumn<long>("status");
    QTest::addColumn<int>("entries");
    QTest::newRow("salt") << true << kTransKeySaltRequest << 200L << 1;
    QTest::newRow("salt and key") << true << kTransKeySaltAndKeyRequest << 200L << 2;
    QTest::newRow("salt without session") << false << kTransKeySaltRequest << 401L << 0;
    QTest::newRow("login form") << false << kLoginTransKeyRequest << 200L << 1;
    QTest::newRow("login form asking a salt")
        << false << "/API/Login/TransKey/Get{\"version\":\"1.0\",\"data\":{\"type\":[\"base_salt\"]}}" << 400L << 0;
    QTest::newRow("unknown type") << true << "/API/Maintenance/TransKey/Get{\"data\":{\"type\":[\"base_y\"]}}" << 400L
                                  << 0;
    QTest::newRow("type not a list") << true << "/API/Maintenance/TransKey/Get{\"data\":{\"type\":\"base_salt\"}}"
                                     << 400L << 0;
}

void TestFakeHttpApi::keyRequestForms()
{
    QFETCH(bool, session);
    QFETCH(QString, request);
    QFETCH(int, entries);
    FakeHttpApi device(HttpDeviceState(), At("127.0.0.56"));
    const fakedevice::HttpSession opened = device.OpenSession();
    HttpClient client;
    client.SetCookie(session ? opened.cookie : std::string());
    client.SetCsrfToken(session ? opened.token : kNoSessionCsrfToken);
    client.PostJson(device.Base(false) + request.toStdString());
    QTEST(client.GetResponseCode(), "status");
    const Json::Value reply = Parse(client.GetResponse());
    QCOMPARE(static_cast<int>(reply["data"]["Key_lists"].size()), entries);
    if (request.contains("base_x_public")) {
        // The device key entry: one leading character, then 32 bytes in base64.
        const std::string key = reply["data"]["Key_lists"][entries - 1]["key"].asString();
        QCOMPARE(key.size(), size_t(45));
        QCOMPARE(Base64Decode(key.substr(1)), device.State().publicKey);
    }
}

void TestFakeHttpApi::saltAnswersOnce()
{
    FakeHttpApi device(HttpDeviceState(), At("127.0.0.57"));
    device.SetHandler("/API/Test/Protected", true, [](const FakeHttpApi::Call& call, Json::Value& reply) {
        reply["result"] = call.authenticated ? "success" : "failed";
        return call.authenticated ? 200 : 403;
    });
    const fakedevice::HttpSession session = device.OpenSession();
    HttpClient client;
    client.SetCookie(session.cookie);
    client.SetCsrfToken(session.token);
    TransKeys keys;
    QVERIFY(RequestTransKeys(client, device.Base(false), TransKeyForm::Salt, keys));
    Json::Value body;
    body["version"] = "1.0";
    QVERIFY(MakeSecondaryAuthentication("admin123", keys.salt, body["data"]["base_secondary_authentication"]));
    const std::string request = device.Base(false) + "/API/Test/Protected" + Write(body);
    QVERIFY(client.PostJson(request));
    QVERIFY(device.LastProtection().authenticationOk);
    QVERIFY(!client.PostJson(request));
    QCOMPARE(client.GetResponseCode(), 403L);
    QCOMPARE(device.LastProtection().error, std::string("authentication_seq"));
}

void TestFakeHttpApi::firstLoginFlag()
{
    HttpDeviceState state;
    state.initialised = false;
    FakeHttpApi device(state, At("127.0.0.58"));
    HttpClient client;
    QVERIFY(client.PostJson(device.Base(false) + "/API/Login/Range{\"version\":\"1.0\"}\n"));
    QVERIFY(Parse(client.GetResponse())["data"]["first_login_flag"].asBool());
    device.Update([](HttpDeviceState& s) { s.initialised = true; });
    QVERIFY(client.PostJson(device.Base(false) + "/API/Login/Range{\"version\":\"1.0\"}\n"));
    QVERIFY(!Parse(client.GetResponse())["data"]["first_login_flag"].asBool());
}

QTEST_GUILESS_MAIN(TestFakeHttpApi)
#include "tst_fakehttpapi.moc"
