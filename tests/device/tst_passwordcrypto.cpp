#include "DeviceCrypto.h"
#include "FakeHttpApi.h"
#include "HttpClient.h"
#include "PasswordCrypto.h"
#include "TransKey.h"

#include <QtTest>

#include <string>

namespace
{
std::string FromHex(const char* hex)
{
    return QByteArray::fromHex(QByteArray(hex)).toStdString();
}

const unsigned char* U(const std::string& bytes)
{
    return reinterpret_cast<const unsigned char*>(bytes.data());
}

std::string Encode(const std::string& bytes)
{
    return Base64Encode(U(bytes), static_cast<int>(bytes.size()));
}

// RFC 7748, section 6.1.
const char* const kAlicePrivate = "77076d0a7318a57d3c16c17251b26645df4c2f87ebc0992ab177fba51db92c2a";
const char* const kAlicePublic = "8520f0098930a754748b7ddcb43ef75a0dbf3a0d26381af4eba4a98eaa9b4e6a";
const char* const kBobPrivate = "5dab087e624a8a4b79e17f8b83800ee66f3bb1292618b6fd1c2f8b27ff88e0eb";
const char* const kBobPublic = "de9edb7d7b7dc1b4d35b61c2ece435373f8343c85b78674dadfc7e146f882b4f";
const char* const kShared = "4a5d9d5ba4ce2de1728e3bf480350f25e07e21c947d19e3376f09b3c1e161742";

std::string Body(const Json::Value& value)
{
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    return Json::writeString(builder, value) + "\n";
}
} // namespace

class TestPasswordCrypto : public QObject
{
    Q_OBJECT

private slots:
    void base64_data();
    void base64();
    void base64Refusals_data();
    void base64Refusals();
    void base64Limits();

    void x25519Vector();
    void hkdfVectors_data();
    void hkdfVectors();
    void aesGcmVectors_data();
    void aesGcmVectors();
    void pbkdf2Vectors_data();
    void pbkdf2Vectors();

    void secondaryAuthentication_data();
    void secondaryAuthentication();
    void encryptedPasswordLayout_data();
    void encryptedPasswordLayout();
    void encryptedPasswordRefusals_data();
    void encryptedPasswordRefusals();
    void encryptedPasswordFreshKeys();

    void keyLists_data();
    void keyLists();

    void deviceChangesPassword();
    void deviceRejectsWrongProtection_data();
    void deviceRejectsWrongProtection();
    void deviceTakesFirstPassword();
    void failedKeyRequests_data();
    void failedKeyRequests();
};

void TestPasswordCrypto::base64_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("text");
    // RFC 4648, section 10, and a block long enough to need line breaks in other encoders.
    QTest::newRow("f") << QByteArray("f") << QByteArray("Zg==");
    QTest::newRow("fo") << QByteArray("fo") << QByteArray("Zm8=");
    QTest::newRow("foo") << QByteArray("foo") << QByteArray("Zm9v");
    QTest::newRow("foobar") << QByteArray("foobar") << QByteArray("Zm9vYmFy");
    QByteArray binary;
    for (int i = 0; i < 200; ++i)
        binary.append(static_cast<char>(i * 7));
    QTest::newRow("200 bytes with zeros") << binary << binary.toBase64();
}

void TestPasswordCrypto::base64()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, text);
    const std::string encoded = Encode(bytes.toStdString());
    QCOMPARE(QByteArray::fromStdString(encoded), text);
    QVERIFY(encoded.find('\n') == std::string::npos);
    QCOMPARE(QByteArray::fromStdString(Base64Decode(text.toStdString())), bytes);
}

void TestPasswordCrypto::base64Refusals_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("not whole groups") << QByteArray("Zg=");
    QTest::newRow("foreign character") << QByteArray("Zm9v!A==");
    QTest::newRow("space") << QByteArray("Zm 9v");
    QTest::newRow("line break") << QByteArray("Zm9v\nZm9v");
    QTest::newRow("padding inside") << QByteArray("Zg==Zm9v");
    QTest::newRow("three pads") << QByteArray("Z===");
    QTest::newRow("url alphabet") << QByteArray("-_-_");
    QTest::newRow("empty") << QByteArray();
}

void TestPasswordCrypto::base64Refusals()
{
    QFETCH(QByteArray, text);
    QVERIFY(Base64Decode(text.toStdString()).empty());
}

void TestPasswordCrypto::base64Limits()
{
    // Null input: a marker on standard output and an empty result.
    QVERIFY(Base64Encode(nullptr, 4).empty());
    QVERIFY(Base64Decode(nullptr, 4).empty());

    const std::string most(PasswordCrypto::kMaxEncodeBytes, 'a');
    QCOMPARE(Encode(most).size(), size_t(1024));
    QVERIFY(Encode(most + "a").empty());

    // 1,364 characters decode to 1,023 bytes; 1,368 to 1,026, over the limit.
    QCOMPARE(Base64Decode(std::string(1364, 'A')).size(), size_t(1023));
    QVERIFY(Base64Decode(std::string(1368, 'A')).empty());
    QCOMPARE(Base64Decode(std::string(1364, 'A') + "AA==").size(), size_t(1024));
}

void TestPasswordCrypto::x25519Vector()
{
    const std::string alice = FromHex(kAlicePrivate);
    const std::string bob = FromHex(kBobPrivate);
    unsigned char publicKey[32];
    QVERIFY(PasswordCrypto::X25519PublicKey(U(alice), publicKey));
    QCOMPARE(std::string(reinterpret_cast<char*>(publicKey), 32), FromHex(kAlicePublic));
    QVERIFY(PasswordCrypto::X25519PublicKey(U(bob), publicKey));
    QCOMPARE(std::string(reinterpret_cast<char*>(publicKey), 32), FromHex(kBobPublic));

    unsigned char secret[32];
    QVERIFY(PasswordCrypto::X25519SharedSecret(U(alice), U(FromHex(kBobPublic)), secret));
    QCOMPARE(std::string(reinterpret_cast<char*>(secret), 32), FromHex(kShared));
    QVERIFY(PasswordCrypto::X25519SharedSecret(U(bob), U(FromHex(kAlicePublic)), secret));
    QCOMPARE(std::string(reinterpret_cast<char*>(secret), 32), FromHex(kShared));

    // A small-order key gives an all-zero secret, which OpenSSL refuses.
    QVERIFY(!PasswordCrypto::X25519SharedSecret(U(alice), U(std::string(32, '\0')), secret));
}

void TestPasswordCrypto::hkdfVectors_data()
{
    // RFC 5869, test cases 1 and 3, from their PRK (expand only).
    QTest::addColumn<QByteArray>("prk");
    QTest::addColumn<QByteArray>("info");
    QTest::addColumn<QByteArray>("okm");
    QTest::newRow("case 1") << QByteArray::fromHex("077709362c2e32df0ddc3f0dc47bba6390b6c73bb50f9c3122ec844ad7c2b3e5")
                            << QByteArray::fromHex("f0f1f2f3f4f5f6f7f8f9")
                            << QByteArray::fromHex("3cb25f25faacd57a90434f64d0362f2a2d2d0a90cf1a5a4c5db02d56ecc4c5bf"
                                                   "34007208d5b887185865");
    QTest::newRow("case 3, no info") << QByteArray::fromHex(
        "19ef24a32c717b167f33a91d6f648bdf96596776afdb6377ac434c1c293ccb04")
                                     << QByteArray()
                                     << QByteArray::fromHex(
                                            "8da4e775a563c18f715f802a063c5a31b8a11f5c5ee1879ec3454e5f3c738d2d"
                                            "9d201395faa4b61a96c8");
}

void TestPasswordCrypto::hkdfVectors()
{
    QFETCH(QByteArray, prk);
    QFETCH(QByteArray, info);
    QFETCH(QByteArray, okm);
    std::string out(static_cast<size_t>(okm.size()), '\0');
    QVERIFY(PasswordCrypto::HkdfSha256Expand(reinterpret_cast<const unsigned char*>(prk.constData()),
        static_cast<size_t>(prk.size()), info.toStdString(), reinterpret_cast<unsigned char*>(&out[0]), out.size()));
    QCOMPARE(QByteArray::fromStdString(out), okm);
}

void TestPasswordCrypto::aesGcmVectors_data()
{
    // The GCM specification's AES-256 test cases 14 and 15 (no additional data).
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("iv");
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QByteArray>("cipher");
    QTest::addColumn<QByteArray>("tag");
    QTest::newRow("case 14") << QByteArray(32, '\0') << QByteArray(12, '\0') << QByteArray(16, '\0')
                             << QByteArray::fromHex("cea7403d4d606b6e074ec5d3baf39d18")
                             << QByteArray::fromHex("d0d1c8a799996bf0265b98b5d48ab919");
    QTest::newRow("case 15") << QByteArray::fromHex("feffe9928665731c6d6a8f9467308308feffe9928665731c6d6a8f9467308308")
                             << QByteArray::fromHex("cafebabefacedbaddecaf888")
                             << QByteArray::fromHex("d9313225f88406e5a55909c5aff5269a86a7a9531534f7da2e4c303d8a318a72"
                                                    "1c3c0c95956809532fcf0e2449a6b525b16aedf5aa0de657ba637b391aafd255")
                             << QByteArray::fromHex("522dc1f099567d07f47f37a32a84427d643a8cdcbfe5c0c97598a2bd2555d1aa"
                                                    "8cb08e48590dbb3da7b08b1056828838c5f61e6393ba7a0abcc9f662898015ad")
                             << QByteArray::fromHex("b094dac5d93471bdec1a502270e3cc6c");
}

void TestPasswordCrypto::aesGcmVectors()
{
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, iv);
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, cipher);
    QFETCH(QByteArray, tag);
    std::string out;
    unsigned char outTag[16];
    QVERIFY(PasswordCrypto::Aes256GcmEncrypt(reinterpret_cast<const unsigned char*>(key.constData()),
        reinterpret_cast<const unsigned char*>(iv.constData()), plain.toStdString(), out, outTag));
    QCOMPARE(QByteArray::fromStdString(out), cipher);
    QCOMPARE(QByteArray(reinterpret_cast<char*>(outTag), 16), tag);
}

void TestPasswordCrypto::pbkdf2Vectors_data()
{
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<QByteArray>("salt");
    QTest::addColumn<int>("iterations");
    QTest::addColumn<QByteArray>("derived");
    // RFC 7914, section 11.
    QTest::newRow("passwd 1") << QByteArray("passwd") << QByteArray("salt") << 1
                              << QByteArray::fromHex(
                                     "55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc"
                                     "49ca9cccf179b645991664b39d77ef317c71b845b1e30bd509112041d3a19783");
    // The widely published companion vectors (draft-josefsson-pbkdf2-test-vectors, SHA-256).
    QTest::newRow("password 4096") << QByteArray("password") << QByteArray("salt") << 4096
                                   << QByteArray::fromHex(
                                          "c5e478d59288c841aa530db6845c4c8d962893a001ce4e11a4963873aa98134a");
    QTest::newRow("long password and salt")
        << QByteArray("passwordPASSWORDpassword") << QByteArray("saltSALTsaltSALTsaltSALTsaltSALTsalt") << 4096
        << QByteArray::fromHex("348c89dbcbd32b2f32d814b8116e84cf2b17347ebc1800181c4e2a1fb8dd53e1c635518c7dac47e9");
}

void TestPasswordCrypto::pbkdf2Vectors()
{
    QFETCH(QByteArray, password);
    QFETCH(QByteArray, salt);
    QFETCH(int, iterations);
    QFETCH(QByteArray, derived);
    std::string out(static_cast<size_t>(derived.size()), '\0');
    QVERIFY(PasswordCrypto::Pbkdf2Sha256(
        password.toStdString(), salt.toStdString(), iterations, reinterpret_cast<unsigned char*>(&out[0]), out.size()));
    QCOMPARE(QByteArray::fromStdString(out), derived);
}

void TestPasswordCrypto::secondaryAuthentication_data()
{
    QTest::addColumn<QByteArray>("salt"); // base64 as the device sends it
    QTest::addColumn<int>("iterations");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("cipherLength");
    QTest::newRow("16-byte salt") << QByteArray(16, 's').toBase64() << 1000 << true << 24;
    QTest::newRow("32-byte salt") << QByteArray(32, 's').toBase64() << 1000 << true << 44;
    QTest::newRow("33-byte salt") << QByteArray(33, 's').toBase64() << 1000 << false << 0;
    QTest::newRow("salt not base64") << QByteArray("c2FsdA=?") << 1000 << false << 0;
    QTest::newRow("empty salt") << QByteArray() << 1000 << false << 0;
    QTest::newRow("no iterations") << QByteArray(16, 's').toBase64() << 0 << false << 0;
    QTest::newRow("negative iterations") << QByteArray(16, 's').toBase64() << -5 << false << 0;
    QTest::newRow("hostile iterations") << QByteArray(16, 's').toBase64() << PasswordCrypto::kMaxIterations + 1 << false
                                        << 0;
}

void TestPasswordCrypto::secondaryAuthentication()
{
    QFETCH(QByteArray, salt);
    QFETCH(int, iterations);
    QFETCH(bool, ok);
    QFETCH(int, cipherLength);
    std::string cipher = "left over";
    QCOMPARE(SecondaryAuthentication("admin123", salt.toStdString(), iterations, cipher), ok);
    QCOMPARE(static_cast<int>(cipher.size()), cipherLength);
    if (ok) {
        const std::string saltBytes = QByteArray::fromBase64(salt).toStdString();
        const std::string expected
            = fakedevice::devicecrypto::Pbkdf2Sha256("admin123", saltBytes, iterations, saltBytes.size());
        QCOMPARE(cipher, fakedevice::devicecrypto::ToBase64(expected));
    }
}

void TestPasswordCrypto::encryptedPasswordLayout_data()
{
    QTest::addColumn<QByteArray>("password");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("one byte") << QByteArray("a");
    QTest::newRow("latin-1") << QByteArray("P\xe4sswort-2024");
    QTest::newRow("127 bytes") << QByteArray(127, 'x');
}

void TestPasswordCrypto::encryptedPasswordLayout()
{
    QFETCH(QByteArray, password);
    // We are Alice, the device is Bob.
    const std::string alice = FromHex(kAlicePrivate);
    const std::string deviceKey = Encode(FromHex(kBobPublic));
    std::string peerKey, cipher;
    QVERIFY(PasswordCrypto::EncryptedPasswordWithKey(password.toStdString(), deviceKey, U(alice), peerKey, cipher));
    QCOMPARE(peerKey, Encode(FromHex(kAlicePublic)));

    // ciphertext || IV || tag, and the IV comes from the accumulated info.
    const std::string block = Base64Decode(cipher);
    QCOMPARE(block.size(), static_cast<size_t>(password.size()) + 12 + 16);
    const std::string shared = FromHex(kShared);
    unsigned char iv[12], ivAlone[12];
    QVERIFY(PasswordCrypto::HkdfSha256Expand(U(shared), 32, "expand keyexpand iv", iv, 12));
    QVERIFY(PasswordCrypto::HkdfSha256Expand(U(shared), 32, "expand iv", ivAlone, 12));
    QCOMPARE(block.substr(static_cast<size_t>(password.size()), 12), std::string(reinterpret_cast<char*>(iv), 12));
    QVERIFY(
        block.substr(static_cast<size_t>(password.size()), 12) != std::string(reinterpret_cast<char*>(ivAlone), 12));

    // The device side, written on its own, decrypts it.
    std::string decrypted, error;
    QVERIFY(
        fakedevice::devicecrypto::DecryptPassword(FromHex(kBobPrivate), "0" + peerKey, "0" + cipher, decrypted, error));
    QCOMPARE(QByteArray::fromStdString(decrypted), password);
}

void TestPasswordCrypto::encryptedPasswordRefusals_data()
{
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<QByteArray>("deviceKey");
    const QByteArray good = QByteArray::fromStdString(Encode(FromHex(kBobPublic)));
    QTest::newRow("128-byte password") << QByteArray(128, 'x') << good;
    QTest::newRow("empty key") << QByteArray("secret") << QByteArray();
    QTest::newRow("key not base64") << QByteArray("secret") << QByteArray("not base64 at all");
    QTest::newRow("31-byte key") << QByteArray("secret") << QByteArray(31, 'k').toBase64();
    QTest::newRow("33-byte key") << QByteArray("secret") << QByteArray(33, 'k').toBase64();
    QTest::newRow("128 characters") << QByteArray("secret") << QByteArray(128, 'A');
    QTest::newRow("small-order key") << QByteArray("secret") << QByteArray(32, '\0').toBase64();
}

void TestPasswordCrypto::encryptedPasswordRefusals()
{
    QFETCH(QByteArray, password);
    QFETCH(QByteArray, deviceKey);
    std::string peerKey = "old", cipher = "old";
    QVERIFY(!EncryptedPassword(password.toStdString(), deviceKey.toStdString(), peerKey, cipher));
    QVERIFY(peerKey.empty());
    QVERIFY(cipher.empty());

    Json::Value object;
    QVERIFY(!MakeEncryptedPassword(password.toStdString(), { deviceKey.toStdString(), 7 }, object));
    QVERIFY(object.isNull());
}

void TestPasswordCrypto::encryptedPasswordFreshKeys()
{
    const std::string deviceKey = Encode(FromHex(kBobPublic));
    std::string peer1, cipher1, peer2, cipher2;
    QVERIFY(EncryptedPassword("secret", deviceKey, peer1, cipher1));
    QVERIFY(EncryptedPassword("secret", deviceKey, peer2, cipher2));
    QCOMPARE(peer1.size(), size_t(44));
    QVERIFY(peer1 != peer2);
    QVERIFY(cipher1 != cipher2);
}

void TestPasswordCrypto::keyLists_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("saltOk");
    QTest::addColumn<bool>("keyOk");
    const QByteArray salt = R"({"key":"c2FsdHNhbHRzYWx0c2FsdA==","iter":1000,"seq":3})";
    const QByteArray key = R"({"key":"0AAAA","seq":4})";
    auto reply
        = [](const QByteArray& entries) { return R"({"result":"success","data":{"Key_lists":[)" + entries + "]}}"; };
    QTest::newRow("both") << reply(salt + "," + key) << true << true;
    QTest::newRow("short list") << reply(salt) << true << false;
    QTest::newRow("empty list") << reply("") << false << false;
    QTest::newRow("key a number") << reply(R"({"key":5,"iter":1000,"seq":3},{"key":7,"seq":4})") << false << false;
    QTest::newRow("iter a text") << reply(R"({"key":"c2FsdA==","iter":"1000","seq":3})") << false << false;
    QTest::newRow("iter fractional") << reply(R"({"key":"c2FsdA==","iter":1.5,"seq":3})") << false << false;
    QTest::newRow("seq too large") << reply(R"({"key":"c2FsdA==","iter":1000,"seq":1e12},{"key":"0AAAA","seq":4e12})")
                                   << false << false;
    QTest::newRow("seq missing") << reply(R"({"key":"c2FsdA==","iter":1000},{"key":"0AAAA"})") << false << false;
    QTest::newRow("empty keys") << reply(R"({"key":"","iter":1000,"seq":3},{"key":"","seq":4})") << false << false;
    QTest::newRow("key only its lead") << reply(salt + R"(,{"key":"0","seq":4})") << true << false;
    QTest::newRow("entries not objects") << reply(R"("a","b")") << false << false;
    QTest::newRow("Key_lists an object") << QByteArray(R"({"data":{"Key_lists":{"0":1}}})") << false << false;
    QTest::newRow("data a text") << QByteArray(R"({"data":"none"})") << false << false;
    QTest::newRow("reply an array") << QByteArray("[1,2]") << false << false;
    QTest::newRow("reply a number") << QByteArray("42") << false << false;
}

void TestPasswordCrypto::keyLists()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, saltOk);
    QFETCH(bool, keyOk);
    Json::CharReaderBuilder builder;
    Json::Value root;
    std::string errors;
    QVERIFY(ParseJsonText(builder, reply.toStdString(), root, errors));
    SaltEntry salt;
    DeviceKeyEntry key;
    QCOMPARE(ReadSaltEntry(root, 0, salt), saltOk);
    QCOMPARE(ReadDeviceKeyEntry(root, 1, key), keyOk);
    if (saltOk) {
        QCOMPARE(salt.iter, 1000);
        QCOMPARE(salt.seq, 3);
    }
    if (keyOk) {
        QCOMPARE(key.key, std::string("AAAA")); // without the leading character
        QCOMPARE(key.seq, 4);
    }
}

void TestPasswordCrypto::deviceChangesPassword()
{
    fakedevice::FakeHttpApi device(fakedevice::HttpDeviceState {}, { "127.0.0.21", 0 });
    QVERIFY(device.Listening());
    const fakedevice::HttpSession session = device.OpenSession();

    HttpClient client;
    client.SetCookie(session.cookie);
    client.SetCsrfToken(session.token);
    client.SetHost(device.Ip());
    TransKeys keys;
    QVERIFY(RequestTransKeys(client, device.Base(false), TransKeyForm::SaltAndDeviceKey, keys));
    QVERIFY(keys.salt.seq != keys.deviceKey.seq);

    Json::Value authentication, encrypted;
    QVERIFY(MakeSecondaryAuthentication("admin123", keys.salt, authentication));
    QVERIFY(MakeEncryptedPassword("N3w-Passw0rd", keys.deviceKey, encrypted));
    QCOMPARE(authentication["seq"].asInt(), keys.salt.seq);
    QCOMPARE(encrypted["seq"].asInt(), keys.deviceKey.seq);
    QCOMPARE(encrypted["cipher"].asString().substr(0, 1), std::string("0"));
    QCOMPARE(encrypted["peer_key"].asString().substr(0, 1), std::string("0"));

    Json::Value body;
    body["version"] = "1.0";
    body["data"]["type"] = "SavePassword";
    body["data"]["base_secondary_authentication"] = authentication;
    body["data"]["user_info"]["ADMIN"]["username"] = "admin";
    body["data"]["user_info"]["ADMIN"]["base_enc_password"] = encrypted;
    QVERIFY(client.PostJson(device.Base(false) + "/API/SystemConfig/User/Set" + Body(body)));

    const fakedevice::ProtectionCheck check = device.LastProtection();
    QVERIFY(check.authenticationOk);
    QVERIFY(check.passwordDecrypted);
    QCOMPARE(check.password, std::string("N3w-Passw0rd"));
    QCOMPARE(device.State().password, std::string("N3w-Passw0rd"));
}

void TestPasswordCrypto::deviceRejectsWrongProtection_data()
{
    QTest::addColumn<QString>("loginPassword");
    QTest::addColumn<bool>("tamper"); // flip one ciphertext bit
    QTest::addColumn<QString>("error");
    QTest::newRow("wrong login password") << "admin124" << false << "authentication_cipher";
    QTest::newRow("tampered cipher") << "admin123" << true << "gcm";
}

void TestPasswordCrypto::deviceRejectsWrongProtection()
{
    QFETCH(QString, loginPassword);
    QFETCH(bool, tamper);
    QFETCH(QString, error);
    fakedevice::FakeHttpApi device(fakedevice::HttpDeviceState {}, { "127.0.0.22", 0 });
    const fakedevice::HttpSession session = device.OpenSession();
    HttpClient client;
    client.SetCookie(session.cookie);
    client.SetCsrfToken(session.token);
    TransKeys keys;
    QVERIFY(RequestTransKeys(client, device.Base(false), TransKeyForm::SaltAndDeviceKey, keys));
    Json::Value authentication, encrypted;
    QVERIFY(MakeSecondaryAuthentication(loginPassword.toStdString(), keys.salt, authentication));
    QVERIFY(MakeEncryptedPassword("N3w-Passw0rd", keys.deviceKey, encrypted));
    if (tamper) {
        std::string block = Base64Decode(encrypted["cipher"].asString().substr(1));
        block[0] = static_cast<char>(block[0] ^ 1);
        encrypted["cipher"] = "0" + Encode(block);
    }
    Json::Value body;
    body["version"] = "1.0";
    body["data"]["base_secondary_authentication"] = authentication;
    body["data"]["user_info"]["ADMIN"]["base_enc_password"] = encrypted;
    QVERIFY(!client.PostJson(device.Base(false) + "/API/SystemConfig/User/Set" + Body(body)));
    QCOMPARE(client.GetResponseCode(), 403L);

    const fakedevice::ProtectionCheck check = device.LastProtection();
    QCOMPARE(QString::fromStdString(check.error), error);
    QVERIFY(check.password.empty());
    QCOMPARE(device.State().password, std::string("admin123"));
}

void TestPasswordCrypto::deviceTakesFirstPassword()
{
    fakedevice::HttpDeviceState state;
    state.initialised = false;
    state.password.clear();
    fakedevice::FakeHttpApi device(state, { "127.0.0.23", 0 });

    // No session: empty cookie and the token "Undefined".
    HttpClient client;
    client.SetCsrfToken(kNoSessionCsrfToken);
    TransKeys keys;
    QVERIFY(RequestTransKeys(client, device.Base(false), TransKeyForm::LoginDeviceKey, keys));
    Json::Value encrypted;
    QVERIFY(MakeEncryptedPassword("First-Passw0rd", keys.deviceKey, encrypted));
    Json::Value body;
    body["version"] = "1.0";
    body["data"]["base_enc_password"] = encrypted;
    QVERIFY(client.PostJson(device.Base(false) + "/API/FirstLogin/Password/Set" + Body(body)));

    fakedevice::HttpExchange exchange;
    QVERIFY(device.LastExchange("/API/FirstLogin/Password/Set", exchange));
    QCOMPARE(exchange.request.Header("X-csrftoken"), std::string("Undefined"));
    QVERIFY(exchange.request.HasHeader("Cookie"));
    QVERIFY(exchange.request.Header("Cookie").empty());
    QCOMPARE(device.State().password, std::string("First-Passw0rd"));
    QVERIFY(device.State().initialised);
}

void TestPasswordCrypto::failedKeyRequests_data()
{
    QTest::addColumn<QString>("fault");
    QTest::newRow("status 500") << "status";
    QTest::newRow("not JSON") << "notJson";
    QTest::newRow("short Key_lists") << "short";
    QTest::newRow("iter a text") << "iterText";
    QTest::newRow("small-order device key") << "zeroKey";
}

void TestPasswordCrypto::failedKeyRequests()
{
    QFETCH(QString, fault);
    fakedevice::FakeHttpApi device(fakedevice::HttpDeviceState {}, { "127.0.0.24", 0 });
    const fakedevice::HttpSession session = device.OpenSession();
    fakedevice::HttpFaults faults;
    faults.status = fault == "status" ? 500 : 0;
    faults.notJson = fault == "notJson";
    faults.zeroDeviceKey = fault == "zeroKey";
    if (fault == "short" || fault == "iterText") {
        faults.editReply = [fault](const std::string&, Json::Value& reply) {
            if (fault == "short")
                reply["data"]["Key_lists"].resize(1);
            else
                reply["data"]["Key_lists"][0]["iter"] = "1000";
        };
    }
    device.SetFaults(faults);

    HttpClient client;
    client.SetCookie(session.cookie);
    client.SetCsrfToken(session.token);
    TransKeys keys;
    const bool keysRead = RequestTransKeys(client, device.Base(false), TransKeyForm::SaltAndDeviceKey, keys);
    Json::Value authentication, encrypted;
    const bool protectionsMade = keysRead && MakeSecondaryAuthentication("admin123", keys.salt, authentication)
        && MakeEncryptedPassword("N3w-Passw0rd", keys.deviceKey, encrypted);
    // Every fault stops the operation before a protected request could go out.
    QVERIFY(!protectionsMade);
    QCOMPARE(keysRead, fault == "zeroKey");
    QVERIFY(encrypted.isNull());
}

QTEST_GUILESS_MAIN(TestPasswordCrypto)
#include "tst_passwordcrypto.moc"
