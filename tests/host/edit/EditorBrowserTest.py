#!/usr/bin/python3
"""fablix edit in a real browser: headless Chromium, driven through Selenium
and chromedriver, types, clicks and drags as a user does and reads the
preview's pixels back from its canvas.

    EditorBrowserTest.py FABLIX [unittest arguments]

With FABLIX_SCREENSHOTS=FOLDER set, the pictures of docs/ are written there.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

from selenium import webdriver
from selenium.common.exceptions import TimeoutException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support import expected_conditions
from selenium.webdriver.support.ui import WebDriverWait

FABLIX = None
WAIT = 30  # seconds any one expected change may take on a loaded machine


def start_editor(work, *arguments):
    """Starts `fablix edit --no-browser` in `work` with HOME there; returns the
    process and the address it printed first."""
    env = dict(os.environ, HOME=work)
    env.pop("DISPLAY", None)
    process = subprocess.Popen([FABLIX, "edit", "--no-browser", *arguments], cwd=work, env=env,
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    deadline = time.monotonic() + WAIT
    os.set_blocking(process.stdout.fileno(), False)
    line = ""
    while not line.endswith("\n"):
        if time.monotonic() > deadline or process.poll() is not None:
            process.kill()
            raise RuntimeError("fablix edit printed no address within %d s" % WAIT)
        chunk = process.stdout.readline()
        line += chunk
        if not chunk:
            time.sleep(0.05)
    return process, line.strip()


def start_browser(width, height):
    options = webdriver.ChromeOptions()
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                     "--window-size=%d,%d" % (width, height), "--force-device-scale-factor=1"):
        options.add_argument(argument)
    driver = webdriver.Chrome(service=Service(shutil.which("chromedriver") or "/usr/bin/chromedriver"),
                              options=options)
    driver.set_page_load_timeout(WAIT)
    driver.set_script_timeout(WAIT)
    return driver


class EditorInBrowser(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="fablix-edit-browser-%d-" % os.getpid())
        cls.editor, cls.url = start_editor(cls.work)
        cls.driver = start_browser(1280, 900)
        cls.driver.get(cls.url)
        cls.wait_for(lambda d: d.find_element(By.ID, "formula-b").get_attribute("value"), "the formulas to load")
        if os.environ.get("FABLIX_SCREENSHOTS"):
            cls.wait_for(lambda d: d.find_element(By.ID, "preview").get_attribute("data-version"), "the first frame")
            cls.driver.save_screenshot(os.path.join(os.environ["FABLIX_SCREENSHOTS"], "editor.png"))

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()
        cls.editor.terminate()
        cls.editor.wait(WAIT)
        cls.editor.stdout.close()
        shutil.rmtree(cls.work, ignore_errors=True)

    @classmethod
    def wait_for(cls, condition, what):
        try:
            return WebDriverWait(cls.driver, WAIT, poll_frequency=0.05).until(condition)
        except TimeoutException:
            raise AssertionError("waited %d s for %s" % (WAIT, what))

    def element(self, id):
        return self.driver.find_element(By.ID, id)

    def type_formula(self, channel, text):
        field = self.element("formula-" + channel)
        field.send_keys(Keys.CONTROL, "a")
        field.send_keys(text if text else Keys.DELETE)

    def pixel(self, x, y, canvas="preview"):
        return self.driver.execute_script(
            "return Array.from(document.getElementById(arguments[0]).getContext('2d')"
            ".getImageData(arguments[1], arguments[2], 1, 1).data);", canvas, x, y)

    def state(self):
        return self.driver.execute_async_script(
            "const done = arguments[0]; fetch('/api/state', {headers: {'X-Fablix-Token': "
            "new URLSearchParams(location.search).get('token')}}).then(r => r.json()).then(done);")

    def preview_shows(self, expected, points, what):
        """Waits until the preview's RGBA pixel at each (x, y) of its canvas is
        expected(column, row of the frame from its top), the canvas mapping
        its pixels to the frame's nearest ones."""
        seen = []

        def shown(driver):
            canvas = self.element("preview")
            width, height = int(canvas.get_attribute("width")), int(canvas.get_attribute("height"))
            for x, y in points:
                fx, fy = x * 640 // width, y * 360 // height
                seen[:] = [(x, y), self.pixel(x, y), expected(fx, fy)]
                if seen[1] != seen[2]:
                    return False
            return True
        try:
            self.wait_for(shown, what)
        except AssertionError as error:
            raise AssertionError("%s; last seen at %s: %s, not %s" % ((error,) + tuple(seen)))

    def setUp(self):
        for channel, formula in zip("bgra", ("b", "g", "r", "255")):
            self.type_formula(channel, formula)
        self.wait_for(lambda d: all(self.element("error-%d" % i).text == "" for i in range(4)), "formulas that compile")

    def test_typed_formula_changes_the_preview_to_its_pixels(self):
        self.type_formula("b", "x & 255")
        self.type_formula("g", "y * 2")
        self.type_formula("r", "77")
        points = [(0, 0), (10, 3), (100, 50), (200, 120), (300, 170)]
        # y counts upwards from the bottom row.
        self.preview_shows(lambda x, y: [77, min((359 - y) * 2, 255), x & 255, 255], points,
                           "the typed formulas' pixels")
        self.assertEqual(self.element("error-0").text, "")

    def test_failing_formula_shows_its_span_and_cause(self):
        self.type_formula("g", "x + min(1)")
        error = self.wait_for(lambda d: self.element("error-1").text, "the error of formula G")
        run = subprocess.run([FABLIX, "compile", "-g", "x + min(1)"], capture_output=True, text=True)
        self.assertIn("characters 9..10: 'min' takes 2 arguments, not 1", run.stdout)
        self.assertEqual(error, "characters 9..10: 'min' takes 2 arguments, not 1")
        mark = self.driver.find_element(By.CSS_SELECTOR, "#formula-g ~ .backdrop mark, .formula[data-index='1'] mark")
        self.assertEqual(mark.get_attribute("textContent"), ")")
        if os.environ.get("FABLIX_SCREENSHOTS"):
            self.driver.save_screenshot(os.path.join(os.environ["FABLIX_SCREENSHOTS"], "editor-error.png"))
        self.type_formula("g", "g")
        self.wait_for(lambda d: self.element("error-1").text == "", "the error to go")

    def test_slider_moves_by_keyboard_and_feeds_the_formula(self):
        self.type_formula("b", "ctl(3)")
        slider = self.element("slider-3")
        start = int(slider.get_attribute("value"))
        slider.send_keys(Keys.ARROW_RIGHT * 5)
        self.wait_for(lambda d: self.element("slider-value-3").text == str(start + 5), "the slider's label")
        self.wait_for(lambda d: all(self.pixel(x, y)[2] == start + 5 for x, y in ((5, 5), (150, 90))),
                      "the slider's value in the preview's blue")
        self.assertEqual(self.state()["sliders"][3]["value"], start + 5)

    def test_play_steps_through_the_clip_and_pause_holds(self):
        time_slider = self.element("time")
        self.assertEqual(time_slider.get_attribute("max"), "47")
        frames = int(self.driver.find_element(By.TAG_NAME, "body").get_attribute("data-frames") or 0)
        self.element("play").click()
        self.wait_for(lambda d: int(self.element("preview").get_attribute("data-time") or 0) >= 5, "play to reach t=5")
        self.element("play").click()
        self.assertEqual(self.element("play").text, "Play")
        held = time_slider.get_attribute("value")
        time.sleep(0.5)
        self.assertEqual(time_slider.get_attribute("value"), held)
        shown = int(self.driver.find_element(By.TAG_NAME, "body").get_attribute("data-frames"))
        self.assertGreaterEqual(shown - frames, 5)
        self.assertEqual(self.element("time-label").text, "t = %s / T = 47" % held)

    def test_save_then_load_restores_the_formulas(self):
        path = os.path.join(self.work, "mine.fbl")
        self.type_formula("r", "x ^ y")
        self.wait_for(lambda d: self.state()["formulas"][2] == "x ^ y", "the edit to reach the server")
        field = self.element("path")
        field.send_keys(Keys.CONTROL, "a")
        field.send_keys(path)
        self.element("save").click()
        self.wait_for(lambda d: os.path.exists(path), "the settings file")
        self.type_formula("r", "0")
        self.wait_for(lambda d: self.state()["formulas"][2] == "0", "the second edit")
        self.element("load").click()
        self.wait_for(lambda d: self.element("formula-r").get_attribute("value") == "x ^ y", "the loaded formula")
        # Saving over the file asks first; declining keeps it.
        before = open(path, "rb").read()
        self.type_formula("r", "1")
        self.wait_for(lambda d: self.state()["formulas"][2] == "1", "the third edit")
        self.element("save").click()
        alert = self.wait_for(expected_conditions.alert_is_present(), "the question before replacing")
        alert.dismiss()
        self.wait_for(lambda d: self.element("message").text == "not saved", "the answer to the question")
        self.assertEqual(open(path, "rb").read(), before)

    def test_build_a_frei0r_plugin_that_ffmpeg_runs_as_render_does(self):
        for channel, formula in zip("bgra", ("x * 3 + ctl(2)", "y * 5", "b ^ g", "255")):
            self.type_formula(channel, formula)
        self.wait_for(lambda d: self.state()["formulas"][0] == "x * 3 + ctl(2)", "the formulas to reach the server")
        self.element("build").click()
        self.wait_for(lambda d: self.element("build-panel").is_displayed(), "the build panel")
        module = self.element("build-module")
        module.send_keys(Keys.CONTROL, "a")
        module.send_keys("brtest")
        if os.environ.get("FABLIX_SCREENSHOTS"):
            self.driver.save_screenshot(os.path.join(os.environ["FABLIX_SCREENSHOTS"], "editor-build.png"))
        self.element("build-run").click()
        plugin = os.path.join(self.work, ".frei0r-1", "lib", "brtest.so")
        self.wait_for(lambda d: self.element("build-message").text.startswith("built"), "the build")
        self.assertTrue(os.path.exists(plugin), self.element("build-message").text)
        self.element("build-close").click()

        settings = os.path.join(self.work, "built.fbl")
        subprocess.run([FABLIX, "save", "-y", "-b", "x * 3 + ctl(2)", "-g", "y * 5", "-r", "b ^ g", "-a", "255",
                        settings], check=True, capture_output=True)
        ffmpeg = ["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y"]
        clip = os.path.join(self.work, "clip.mkv")
        subprocess.run(ffmpeg + ["-f", "lavfi", "-i", "testsrc2=size=64x48:rate=25,format=bgra", "-frames:v", "2",
                                 "-c:v", "ffv1", clip], check=True)
        env = dict(os.environ, FREI0R_PATH=os.path.dirname(plugin))
        output = subprocess.run(ffmpeg + ["-i", clip, "-vf", "frei0r=brtest", "-f", "rawvideo", "-pix_fmt", "bgra",
                                          "-"], check=True, capture_output=True, env=env).stdout
        reference = os.path.join(self.work, "reference.mkv")
        subprocess.run([FABLIX, "render", "--quiet", "-y", "--settings", settings, clip, reference], check=True)
        expected = subprocess.run(ffmpeg + ["-i", reference, "-f", "rawvideo", "-pix_fmt", "bgra", "-"], check=True,
                                  capture_output=True).stdout
        self.assertEqual(len(output), 2 * 64 * 48 * 4)
        self.assertTrue(output == expected, "FFmpeg's frames with the built plug-in differ from fablix render's")


if __name__ == "__main__":
    FABLIX = os.path.abspath(sys.argv.pop(1))
    unittest.main()
