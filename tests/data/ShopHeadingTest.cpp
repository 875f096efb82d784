// The shop's heading from the settings file's [Shop] section, beside the [Database] section.
#include "data/ShopHeading.h"
#include "core/Errors.h"
#include "data/Connection.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace data;

namespace {

class ShopHeading : public testing::Test {
protected:
    QString directory() const { return dir_.path() + '/'; }
    void write(const char* utf8) {
        QFile file(directory() + "Korvela.ini");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(utf8);
    }
    QTemporaryDir dir_;
};

TEST_F(ShopHeading, ReadsEveryValueWithTurkishLettersAndCommas) {
    write("; the program's settings\n"
          "[Database]\n"
          ";Server=host=192.168.1.10 dbname=korvela\n"
          "\n"
          "[Shop]\n"
          "Name=Güneş Oto Servis\n"
          "Address=\"Moda Cad. No: 14, Kadıköy / İstanbul\"\n"
          "Phone=0216 345 12 34\n"
          "TaxOffice = Kadıköy\n"
          "TaxNumber=1234567890\n");
    const TShopHeading shop = shopHeading(directory());
    EXPECT_EQ(shop.name, QString::fromUtf8("Güneş Oto Servis"));
    EXPECT_EQ(shop.address, QString::fromUtf8("Moda Cad. No: 14, Kadıköy / İstanbul"));
    EXPECT_EQ(shop.phone, "0216 345 12 34");
    EXPECT_EQ(shop.taxOffice, QString::fromUtf8("Kadıköy"));
    EXPECT_EQ(shop.taxNumber, "1234567890");
    // The same file still names no server.
    EXPECT_TRUE(korvelaConnectionString(directory()).contains("Korvela.mdb"));
}

TEST_F(ShopHeading, AnUnquotedCommaKeepsTheWholeAddress) {
    write("[Shop]\nName=Usta\nAddress=Lara Cad. 121, Muratpaşa, Antalya\n");
    const TShopHeading shop = shopHeading(directory());
    EXPECT_EQ(shop.address, QString::fromUtf8("Lara Cad. 121, Muratpaşa, Antalya"));
    EXPECT_EQ(shop.phone, "");
    EXPECT_FALSE(shop.isEmpty());
}

TEST_F(ShopHeading, WithoutTheSectionOrTheFileTheHeadingIsEmpty) {
    EXPECT_TRUE(shopHeading(directory()).isEmpty());
    write("[Database]\nServer=host=localhost dbname=korvela\n");
    EXPECT_TRUE(shopHeading(directory()).isEmpty());
    write("[Shop]\n");
    EXPECT_TRUE(shopHeading(directory()).isEmpty());
    QFile::remove(directory() + "Korvela.ini");
    ASSERT_TRUE(QDir(directory()).mkdir("Korvela.ini")); // a folder of that name is no file
    EXPECT_TRUE(shopHeading(directory()).isEmpty());
}

} // namespace
