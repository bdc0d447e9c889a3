#!/usr/bin/python3
"""fablix edit's speed in a real browser (headless Chromium through
Selenium): the time from a keystroke in a formula field to the new preview
drawn, for a 1920 x 1080 clip and the default block (the median of 20
edits), and the frames per second of the animation of a 1280 x 720 clip
with its preview 1280 pixels wide.

    bench/edit/EditorSpeed.py build/linux/host/fablix/fablix
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "tests", "host", "edit"))
import EditorBrowserTest as page  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402
from selenium.webdriver.common.keys import Keys  # noqa: E402
from selenium.webdriver.support.ui import WebDriverWait  # noqa: E402

EDITS = 20
PLAY_SECONDS = 5


def make_clip(path, size, frames):
    subprocess.run(["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                    "testsrc2=size=%s:rate=24" % size, "-frames:v", str(frames), "-c:v", "ffv1", path], check=True)


def open_page(work, clip, width, height, scale):
    editor, url = page.start_editor(work, clip)
    driver = page.start_browser(width, height)
    driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                           {"width": width, "height": height, "deviceScaleFactor": scale, "mobile": False})
    driver.get(url)
    WebDriverWait(driver, 30).until(lambda d: d.find_element(By.ID, "preview").get_attribute("data-version"))
    return editor, driver


def server_version(driver):
    return driver.execute_async_script(
        "const done = arguments[0]; fetch('/api/state', {headers: {'X-Fablix-Token': "
        "new URLSearchParams(location.search).get('token')}}).then(r => r.json()).then(s => done(s.version));")


def keystrokes(work):
    clip = os.path.join(work, "1080p.mkv")
    make_clip(clip, "1920x1080", 24)
    editor, driver = open_page(work, clip, 1920, 1080, 1)
    try:
        field = driver.find_element(By.ID, "formula-a")
        field.send_keys(Keys.CONTROL, "a")
        field.send_keys("a+1")
        driver.execute_script("document.addEventListener('keydown', () => { window.benchKeyAt = performance.now(); },"
                              " true);")
        preview = driver.find_element(By.ID, "preview")
        times = []
        for _ in range(EDITS):
            # The page at rest, its preview showing the block as it stands.
            WebDriverWait(driver, 30).until(lambda d: int(preview.get_attribute("data-version")) == server_version(d))
            before = int(preview.get_attribute("data-version"))
            time.sleep(0.1)
            field.send_keys("1")
            WebDriverWait(driver, 30, poll_frequency=0.01).until(
                lambda d: int(preview.get_attribute("data-version")) > before)
            drawn, key = driver.execute_script(
                "return [Number(document.getElementById('preview').dataset.drawnAt), window.benchKeyAt];")
            times.append(drawn - key)
        width = preview.get_attribute("width")
        print("keystroke to preview, 1920 x 1080 clip, preview %s px wide: median %.1f ms of %d edits "
              "(min %.1f, max %.1f)" % (width, statistics.median(times), EDITS, min(times), max(times)))
    finally:
        driver.quit()
        editor.terminate()
        editor.wait()


def animation(work):
    clip = os.path.join(work, "720p.mkv")
    make_clip(clip, "1280x720", 48)
    editor, driver = open_page(work, clip, 1800, 1000, 2)
    try:
        preview = driver.find_element(By.ID, "preview")
        driver.find_element(By.ID, "play").click()
        time.sleep(1)
        count = lambda: int(driver.find_element(By.TAG_NAME, "body").get_attribute("data-frames"))
        first, start = count(), time.monotonic()
        time.sleep(PLAY_SECONDS)
        frames, elapsed = count() - first, time.monotonic() - start
        print("animation, 1280 x 720 clip, preview %s x %s: %.1f frames per second (%d frames in %.1f s)" %
              (preview.get_attribute("width"), preview.get_attribute("height"), frames / elapsed, frames, elapsed))
    finally:
        driver.quit()
        editor.terminate()
        editor.wait()


if __name__ == "__main__":
    page.FABLIX = os.path.abspath(sys.argv[1])
    work = tempfile.mkdtemp(prefix="fablix-edit-bench-%d-" % os.getpid())
    try:
        print("load average before: %.2f %.2f %.2f on %d cores" % (os.getloadavg() + (os.cpu_count(),)))
        keystrokes(work)
        animation(work)
        print("load average after: %.2f %.2f %.2f" % os.getloadavg())
    finally:
        shutil.rmtree(work, ignore_errors=True)
