// What becomes of a page whose process stops answering or ends, through the browser form over
// the platform fakes: a hang is asked about and never reloaded unasked, the question goes by
// itself when the page answers again, and an end of the process keeps the reload-once rule.
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "browser/BrowserForm.h"
#include "platform/fake/Fakes.h"

namespace velloc::browser {
namespace {

using platform::fake::TFakeBrowserFormView;

// One event, then what the user and the page see.
struct TStep {
  // H the page stops answering, A it answers again, w the user says wait, r reload,
  // L a reload answer that arrives after its question has gone, E the process ends (3 s after
  // the previous end).
  char Event;
  bool Asking;     // the question is open
  int Shown;       // questions shown so far
  int Reloads;     // so far
  int ErrorPages;  // so far
  bool CanAnswer;  // a close request asks the page
};

struct TCase {
  const char* Name;
  std::vector<TStep> Steps;
};

class PageProcess : public ::testing::Test {
 protected:
  void Run(const TCase& c) {
    TFakeBrowserFormView view;
    platform::fake::TFakeWebViewLoader loader;
    platform::fake::TFakeSystem system;
    TBrowserForm form(view, loader, system);
    auto now = std::chrono::steady_clock::time_point{} + std::chrono::hours(1);
    form.FNow = [&] { return now; };
    form.InitializeBrowser();
    ASSERT_TRUE(view.WebView);
    // Only an application page is asked to close.
    view.WebView->Uri = "file:///index.html";
    std::function<void(bool)> late;
    for (std::size_t i = 0; i < c.Steps.size(); ++i) {
      const TStep& step = c.Steps[i];
      switch (step.Event) {
        case 'H':
          form.BrowserResponsivenessChanged(false);
          if (view.Answer) late = view.Answer;
          view.WebView->Responsive = false;
          break;
        case 'A':
          view.WebView->Responsive = true;
          form.BrowserResponsivenessChanged(true);
          break;
        case 'w':
        case 'r':
          ASSERT_TRUE(view.Question) << c.Name << " step " << i;
          // The page reloads in a process that answers (the backend ends the hung one).
          if (step.Event == 'r') view.WebView->Responsive = true;
          view.AnswerQuestion(step.Event == 'r');
          break;
        case 'L':
          ASSERT_TRUE(late) << c.Name;
          late(true);
          break;
        case 'E':
          now += std::chrono::seconds(3);
          view.WebView->Responsive = true;
          form.BrowserProcessFailed();
          break;
        default:
          FAIL() << step.Event;
      }
      const std::string at = std::string(c.Name) + ", step " + std::to_string(i) + " " + step.Event;
      EXPECT_EQ(view.Question.has_value(), step.Asking) << at;
      EXPECT_EQ(form.AskingAboutPage(), step.Asking) << at;
      EXPECT_EQ(view.QuestionsShown, step.Shown) << at;
      EXPECT_EQ(view.WebView->Reloads, step.Reloads) << at;
      EXPECT_EQ(static_cast<int>(view.WebView->Documents.size()), step.ErrorPages) << at;
      EXPECT_EQ(form.PageCanAnswer(), step.CanAnswer) << at;
    }
  }
};

TEST_F(PageProcess, HangsAreAskedAboutAndEndsReloadOnce) {
  const TCase cases[] = {
      {"the question goes by itself when the page answers",
       {{'H', true, 1, 0, 0, false}, {'A', false, 1, 0, 0, true}}},
      {"wait keeps the page, and the same hang is not asked about again",
       {{'H', true, 1, 0, 0, false},
        {'w', false, 1, 0, 0, false},
        {'H', false, 1, 0, 0, false},
        {'A', false, 1, 0, 0, true},
        {'H', true, 2, 0, 0, false}}},
      {"reload, and a hang after it is a new one",
       {{'H', true, 1, 0, 0, false},
        {'r', false, 1, 1, 0, true},
        {'H', true, 2, 1, 0, false},
        {'A', false, 2, 1, 0, true}}},
      {"an answer to a question that has gone changes nothing",
       {{'H', true, 1, 0, 0, false}, {'A', false, 1, 0, 0, true}, {'L', false, 1, 0, 0, true}}},
      {"an end while asking takes the question away; ending again at once fails the page",
       {{'H', true, 1, 0, 0, false},
        {'E', false, 1, 1, 0, true},
        {'E', false, 1, 1, 1, false},
        {'H', false, 1, 1, 1, false}}},
  };
  for (const TCase& c : cases)
    Run(c);
}

TEST_F(PageProcess, TheQuestionNamesBothChoicesAndGoesWithTheForm) {
  TFakeBrowserFormView view;
  platform::fake::TFakeWebViewLoader loader;
  platform::fake::TFakeSystem system;
  {
    TBrowserForm form(view, loader, system);
    form.InitializeBrowser();
    form.BrowserResponsivenessChanged(false);
    ASSERT_TRUE(view.Question);
    EXPECT_EQ(view.Question->WaitCaption, "Wait");
    EXPECT_EQ(view.Question->ReloadCaption, "Reload");
    EXPECT_EQ(view.Question->Title, "Page not responding");
    EXPECT_NE(view.Question->Text.find("not responding"), std::string::npos);
  }
  EXPECT_FALSE(view.Question);
  EXPECT_EQ(view.QuestionsClosed, 1);
}

}  // namespace
}  // namespace velloc::browser
