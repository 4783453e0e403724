#include "window/frame_rate.h"

#include "window/message.h"

void drawFrameRate(FrameRateMeter& m, const char* status) {
    updateFrameRate(m);
    Message text(-0.9f, 0.9f);
    text.setFont(7);
    text.setColor(0.0f, 1.0f, 0.0f);
    text.setPosition(-0.9f, -0.9f);
    text.print("%.1f fps\n", m.s_fps);
    if (status) {
        text.setColor(1.0f, 1.0f, 0.0f);
        text.setPosition(-0.9f, 0.85f);
        text.print("%s", status);
    }
}
