#include <gtest/gtest.h>

#include <string>

#include "capture/capture.h"
#include "fake_backend.h"

TEST(Capture, DeviceListNamesAreNumberedCutAndBounded) {
    auto dev = std::make_shared<FakeDevice>();
    dev->names.assign(40, "cam");
    dev->names[1] = std::string(300, 'n');
    CaptureDevice* c = captureCreateWith(makeFake(dev));
    ASSERT_NE(c, nullptr);
    EXPECT_STREQ(captureGetDeviceName(c, 0), "0 - cam");
    const std::string second = captureGetDeviceName(c, 1);
    EXPECT_EQ(second.size(), 159u);
    EXPECT_EQ(second.substr(0, 4), "1 - ");
    EXPECT_NE(captureGetDeviceName(c, 29), nullptr);
    EXPECT_EQ(captureGetDeviceName(c, 30), nullptr);
    EXPECT_EQ(captureGetDeviceName(c, -1), nullptr);
    captureDestroy(c);
}

TEST(Capture, GrabNeverWritesPastTheCallersBufferAndTimeOutLeavesItAlone) {
    auto dev = std::make_shared<FakeDevice>();
    CaptureDevice* c = captureCreateWith(makeFake(dev));
    ASSERT_EQ(captureSelectDevice(c, 0), 1);
    ASSERT_EQ(captureSetRunning(c, 1), 1);
    std::vector<unsigned char> buf(20, 0xAA);
    EXPECT_EQ(captureGrabFrame(c, buf.data(), 10, 1000), 1);
    EXPECT_EQ(dev->lastCopyBytes, 10u);
    EXPECT_EQ(buf[9], 1);
    EXPECT_EQ(buf[10], 0xAA);
    dev->timeOut = true;
    EXPECT_EQ(captureGrabFrame(c, buf.data(), buf.size(), 10), 0);
    EXPECT_EQ(buf[0], 1);
    dev->timeOut = false;
    EXPECT_EQ(captureGrabSingleFrame(c, buf.data(), 10), 1);
    EXPECT_EQ(captureSetRunning(c, -1), 0);  // a single grab leaves capture stopped
    EXPECT_EQ(captureShowFormatDialog(c, nullptr), -1);
    EXPECT_EQ(captureShowSourceDialog(c, nullptr), -1);
    captureCloseDevice(c);
    EXPECT_EQ(captureSelectDevice(c, -1), -1);
    EXPECT_FALSE(dev->streaming);
    captureDestroy(c);
}
