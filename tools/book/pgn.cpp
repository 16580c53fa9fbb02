// PGN games: tag pairs, then move text with move numbers, comments ("{...}" and ";" to the
// end of the line), variations (skipped, nested), NAGs and annotations, ended by a result.
// Only the main line's moves from the start position matter to a book.

#include <cstring>

#include "board/board.h"
#include "book/book.h"
#include "notation/fen.h"
#include "tools/book/book_tool.h"

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }
bool EndsToken(char c) { return IsSpace(c) || std::strchr("{}()[];$\"", c) != nullptr; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

class PgnReader {
 public:
  PgnReader(std::string_view text, int maxPly, const std::function<void(const PgnGame&)>& onGame)
      : text_(text), maxPly_(maxPly), onGame_(onGame) {
    Reset();
  }

  void Run() {
    while (SkipSpace()) {
      const char c = text_[at_];
      if (c == '%' && AtLineStart()) SkipLine();
      else if (c == ';') SkipLine();
      else if (c == '{') SkipComment();
      else if (c == '(') ++variationDepth_, ++at_;
      else if (c == ')') variationDepth_ -= variationDepth_ > 0, ++at_;
      else if (c == '[' && variationDepth_ == 0) ReadTag();
      else ReadToken();
    }
    FinishGame();
  }

 private:
  void Reset() {
    game_ = PgnGame{};
    started_ = false;
    inMoveText_ = false;
    tagResult_ = GameResult::Unknown;
    variationDepth_ = 0;
    SetStartPosition(pos_);
  }

  bool AtLineStart() const { return at_ == 0 || text_[at_ - 1] == '\n'; }

  // Skips blanks, counting lines; false at the end of the text.
  bool SkipSpace() {
    while (at_ < text_.size() && IsSpace(text_[at_])) line_ += text_[at_++] == '\n';
    return at_ < text_.size();
  }
  void SkipLine() {
    while (at_ < text_.size() && text_[at_] != '\n') ++at_;
  }
  void SkipComment() {
    while (at_ < text_.size() && text_[at_] != '}') line_ += text_[at_++] == '\n';
    at_ += at_ < text_.size();
  }

  void StartGame() {
    if (started_) return;
    started_ = true;
    game_.firstLine = line_;
  }

  void FinishGame() {
    if (!started_) return;
    game_.result = resultSeen_ ? moveTextResult_ : tagResult_;
    onGame_(game_);
    resultSeen_ = false;
    Reset();
  }

  // [Name "value"]: the value may hold escaped quotes and backslashes.
  void ReadTag() {
    if (inMoveText_) FinishGame();  // a game that ended without a result
    StartGame();
    ++at_;
    std::string name, value;
    while (at_ < text_.size() && IsSpace(text_[at_]) && text_[at_] != '\n') ++at_;
    while (at_ < text_.size() && !EndsToken(text_[at_]) && text_[at_] != ']') name += text_[at_++];
    while (at_ < text_.size() && text_[at_] != '"' && text_[at_] != ']' && text_[at_] != '\n') ++at_;
    if (at_ < text_.size() && text_[at_] == '"') {
      for (++at_; at_ < text_.size() && text_[at_] != '"' && text_[at_] != '\n'; ++at_) {
        if (text_[at_] == '\\' && at_ + 1 < text_.size()) ++at_;
        value += text_[at_];
      }
    }
    while (at_ < text_.size() && text_[at_] != ']' && text_[at_] != '\n') ++at_;
    if (at_ >= text_.size() || text_[at_] != ']') {
      Fail("unreadable tag pair");
      return;
    }
    ++at_;
    if (name == "FEN" || (name == "SetUp" && value != "0")) game_.fromSetUp = true;
    if (name == "Result") tagResult_ = ReadResult(value);
  }

  static GameResult ReadResult(std::string_view text) {
    if (text == "1-0") return GameResult::WhiteWins;
    if (text == "0-1") return GameResult::BlackWins;
    if (text == "1/2-1/2") return GameResult::Draw;
    return GameResult::Unknown;
  }

  void ReadToken() {
    const size_t start = at_;
    while (at_ < text_.size() && !EndsToken(text_[at_])) ++at_;
    if (at_ == start) {  // a stray ']', '}' or quote
      ++at_;
      return;
    }
    if (variationDepth_ > 0) return;
    std::string_view token = text_.substr(start, at_ - start);
    StartGame();
    inMoveText_ = true;
    if (token == "*" || token == "1-0" || token == "0-1" || token == "1/2-1/2") {
      resultSeen_ = true;
      moveTextResult_ = ReadResult(token);
      FinishGame();
      return;
    }
    // A move number ("12.", "12...", or glued to the move as in "12.e4").
    if (IsDigit(token[0]) && token.substr(0, 3) != "0-0") {
      size_t digits = 0;
      while (digits < token.size() && IsDigit(token[digits])) ++digits;
      if (digits < token.size() && token[digits] != '.') {
        Fail("unreadable move", token);
        return;
      }
      token.remove_prefix(digits);
    }
    while (!token.empty() && token[0] == '.') token.remove_prefix(1);
    // Annotations standing alone ("!?", "+-", "=") and a spelled-out en passant carry no move.
    if (token.empty() || token == "e.p." || (token != "--" && token.find_first_not_of("!?+-=/") == std::string_view::npos))
      return;
    PlayToken(token);
  }

  void PlayToken(std::string_view token) {
    if (game_.fromSetUp || !game_.error.empty() || static_cast<int>(game_.moves.size()) >= maxPly_) return;
    Move move;
    std::string why;
    if (!ParseSan(pos_, token, move, why)) {
      Fail(why, token);
      return;
    }
    game_.moves.push_back(move);
    MakeMove(pos_, move);
    pos_.cacheFlags = 0;
  }

  void Fail(const std::string& why, std::string_view token = {}) {
    if (!game_.error.empty()) return;
    game_.error = why;
    if (!token.empty()) game_.error += " \"" + std::string(token.substr(0, 40)) + "\"";
    game_.errorLine = line_;
  }

  std::string_view text_;
  int maxPly_;
  const std::function<void(const PgnGame&)>& onGame_;
  size_t at_ = 0;
  int line_ = 1;
  PgnGame game_;
  Position pos_;
  bool started_ = false, inMoveText_ = false, resultSeen_ = false;
  GameResult tagResult_ = GameResult::Unknown, moveTextResult_ = GameResult::Unknown;
  int variationDepth_ = 0;
};

// Points for the side that played a move: a win 2, a draw or an unknown result 1.
uint64_t PointsFor(GameResult result, int side) {
  if (result == GameResult::Draw || result == GameResult::Unknown) return 1;
  return (result == GameResult::WhiteWins) == (side == White) ? 2 : 0;
}

}  // namespace

void ReadPgnGames(std::string_view text, int maxPly, const std::function<void(const PgnGame&)>& onGame) {
  PgnReader(text, maxPly, onGame).Run();
}

bool TallyPgn(std::string_view text, const std::string& fileName, int maxPly, Tallies& tallies,
              std::FILE* report, std::string& error) {
  int readable = 0;
  Position pos{}, child{};
  ReadPgnGames(text, maxPly, [&](const PgnGame& game) {
    if (game.fromSetUp) return;
    if (!game.error.empty())
      std::fprintf(report, "%s:%d: %s in the game from line %d; keeping its %zu moves before it\n",
                   fileName.c_str(), game.errorLine, game.error.c_str(), game.firstLine, game.moves.size());
    readable += !game.moves.empty();
    SetStartPosition(pos);
    for (const Move& move : game.moves) {
      const int index = MoveIndexOf(pos, move);
      CopyPlayState(child, pos);
      MakeMove(child, move);
      TallyMove(tallies, pos.hashKey, index, child.hashKey, 1, PointsFor(game.result, pos.sideToMove));
      CopyPlayState(pos, child);
    }
  });
  if (readable == 0) error = "no game from the start position with a readable move";
  return readable > 0;
}
