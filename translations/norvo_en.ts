<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja">
<context>
    <name>norvo</name>
    <message>
        <source>the bundled gallery service (norvo-gallery) is missing</source>
        <translation>the bundled gallery service (norvo-gallery) is missing</translation>
    </message>
    <message>
        <source>the bundled gallery service could not be started</source>
        <translation>the bundled gallery service could not be started</translation>
    </message>
    <message>
        <source>the bundled gallery service did not report its address</source>
        <translation>the bundled gallery service did not report its address</translation>
    </message>
    <message>
        <source>ノルヴォ v1</source>
        <translation>norvo v1</translation>
    </message>
    <message>
        <source>本体(&amp;B):</source>
        <translation>&amp;Body:</translation>
    </message>
    <message>
        <source>顔(&amp;F):</source>
        <translation>&amp;Face:</translation>
    </message>
    <message>
        <source>作成(&amp;C)</source>
        <translation>&amp;Create</translation>
    </message>
    <message>
        <source>処理中...</source>
        <translation>Working...</translation>
    </message>
    <message>
        <source>画像をファイルに保存する</source>
        <translation>Save Picture</translation>
    </message>
    <message>
        <source>JPEG(*.jpg)</source>
        <translation>JPEG images (*.jpg)</translation>
    </message>
    <message>
        <source>自然に合成(&amp;N)</source>
        <translation>&amp;Natural blend</translation>
    </message>
    <message>
        <source>ノルヴォ</source>
        <translation>norvo</translation>
    </message>
    <message>
        <source>予期しないエラーで処理を中止しました。</source>
        <translation>Stopped because of an unexpected error.</translation>
    </message>
    <message>
        <source>%1: no display to open windows on; run it headless with --body NAME --face NAME --output FILE.jpg (see --help)</source>
        <translation>%1: no display to open windows on; run it headless with --body NAME --face NAME --output FILE.jpg (see --help)</translation>
    </message>
    <message>
        <source>出典:</source>
        <translation>Sources:</translation>
    </message>
    <message>
        <source>本体</source>
        <translation>Body</translation>
    </message>
    <message>
        <source>顔</source>
        <translation>Face</translation>
    </message>
    <message>
        <source>画像にラベルを書き込めませんでした。</source>
        <translation>Could not write the label into the picture.</translation>
    </message>
    <message>
        <source>httpc.dll loadの実行に失敗しました。</source>
        <translation>httpc.dll load failed.</translation>
    </message>
    <message>
        <source>インターネットに接続できませんでした。</source>
        <translation>Could not connect to the internet.</translation>
    </message>
    <message>
        <source>%1<byte value="xd"/>
%2の画像のダウンロードに失敗しました。</source>
        <translation>%1<byte value="xd"/>
Could not download the picture of %2.</translation>
    </message>
    <message>
        <source>%1の画像を読み込めませんでした。</source>
        <translation>Could not read the picture %1.</translation>
    </message>
    <message>
        <source>保存しました。</source>
        <translation>Saved.</translation>
    </message>
    <message>
        <source>結果を保存せずに終了しました。</source>
        <translation>Finished without saving the result.</translation>
    </message>
    <message>
        <source>画像の保存に失敗しました。</source>
        <translation>Could not save the picture.</translation>
    </message>
    <message>
        <source>顔の特徴点モデル「%1」が見つかりませんでした。自然な合成はできないため、従来の合成を使います。</source>
        <translation>The face landmark model “%1” was not found. Without it there is no natural blend, so the classic blend is used.</translation>
    </message>
    <message>
        <source>顔の特徴点モデル「%1」を読み込めませんでした。自然な合成はできないため、従来の合成を使います。</source>
        <translation>Could not read the face landmark model “%1”. Without it there is no natural blend, so the classic blend is used.</translation>
    </message>
    <message>
        <source>%2個の顔のうち%1個は特徴点が見つからなかったため、従来の方法で合成しました。</source>
        <translation>No landmarks were found on %1 of the %2 faces, so those were blended the classic way.</translation>
    </message>
    <message>
        <source>自然な合成は使えません。従来の合成を使います。</source>
        <translation>The natural blend is not available. Using the classic blend.</translation>
    </message>
    <message>
        <source>メモリが足りないため、自然な合成を作れませんでした。</source>
        <translation>Not enough memory to make the natural blend.</translation>
    </message>
    <message>
        <source>the blend &apos;%1&apos; is neither classic nor natural; using classic</source>
        <translation>the blend &apos;%1&apos; is neither classic nor natural; using classic</translation>
    </message>
    <message>
        <source>not an http:// or https:// address: %1</source>
        <translation>not an http:// or https:// address: %1</translation>
    </message>
    <message>
        <source>%1 (%2)</source>
        <translation>%1 (%2)</translation>
    </message>
    <message>
        <source>picture sources: %1</source>
        <translation>picture sources: %1</translation>
    </message>
    <message>
        <source>unexpected argument &apos;%1&apos;</source>
        <translation>unexpected argument &apos;%1&apos;</translation>
    </message>
    <message>
        <source>option &apos;%1&apos; takes no value</source>
        <translation>option &apos;%1&apos; takes no value</translation>
    </message>
    <message>
        <source>option &apos;%1&apos; given twice</source>
        <translation>option &apos;%1&apos; given twice</translation>
    </message>
    <message>
        <source>unrecognized option &apos;%1&apos;</source>
        <translation>unrecognized option &apos;%1&apos;</translation>
    </message>
    <message>
        <source>option &apos;%1&apos; requires a value</source>
        <translation>option &apos;%1&apos; requires a value</translation>
    </message>
    <message>
        <source>the output file name is empty</source>
        <translation>the output file name is empty</translation>
    </message>
    <message>
        <source>a run needs --body, --face and --output</source>
        <translation>a run needs --body, --face and --output</translation>
    </message>
    <message>
        <source>give --sources or --offline, not both</source>
        <translation>give --sources or --offline, not both</translation>
    </message>
    <message>
        <source>invalid blend &apos;%1&apos; (classic or natural)</source>
        <translation>invalid blend &apos;%1&apos; (classic or natural)</translation>
    </message>
    <message>
        <source>the preview file name is empty</source>
        <translation>the preview file name is empty</translation>
    </message>
    <message>
        <source>no run asked for</source>
        <translation>no run asked for</translation>
    </message>
    <message>
        <source>%1: %2
Try &apos;%1 --help&apos; for more information.</source>
        <translation>%1: %2
Try &apos;%1 --help&apos; for more information.</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>%1: %2 exists; use --force to replace it</source>
        <translation>%1: %2 exists; use --force to replace it</translation>
    </message>
    <message>
        <source>%1: the run stopped on an unexpected error: %2</source>
        <translation>%1: the run stopped on an unexpected error: %2</translation>
    </message>
    <message>
        <source>%1: stopped</source>
        <translation>%1: stopped</translation>
    </message>
    <message>
        <source>norvo: the windows are not built in this version; see &apos;norvo --help&apos;</source>
        <translation>norvo: the windows are not built in this version; see &apos;norvo --help&apos;</translation>
    </message>
    <message>
        <source>比較画像を書き出せませんでした: %1</source>
        <translation>Could not write the comparison picture: %1</translation>
    </message>
    <message>
        <source>the private work folder could not be created</source>
        <translation>the private work folder could not be created</translation>
    </message>
    <message>
        <source>the work folder could not be removed completely</source>
        <translation>the work folder could not be removed completely</translation>
    </message>
    <message>
        <source>there is no work folder</source>
        <translation>there is no work folder</translation>
    </message>
    <message>
        <source>httpc.dll requestの実行に失敗しました。</source>
        <translation>httpc.dll request failed.</translation>
    </message>
    <message>
        <source>httpc.dll requestの応答文字列が異常です。</source>
        <translation>httpc.dll request gave a malformed answer.</translation>
    </message>
    <message>
        <source>httpc.dll requestが正常終了しませんでした。</source>
        <translation>httpc.dll request did not end normally.</translation>
    </message>
    <message>
        <source>%1(google画像検索)</source>
        <translation>%1 (Google image search)</translation>
    </message>
    <message>
        <source>検索文字列のURLエンコードに失敗しました。</source>
        <translation>Could not URL-encode the search text.</translation>
    </message>
    <message>
        <source>%1の顔認識ができませんでした。(0)</source>
        <translation>Could not recognize a face for %1. (0)</translation>
    </message>
    <message>
        <source>%1の顔認識ができませんでした。(1)</source>
        <translation>Could not recognize a face for %1. (1)</translation>
    </message>
    <message>
        <source>%1の画像%2はありません。1から%3の番号を選んでください。</source>
        <translation>%1 has no picture %2; choose a number from 1 to %3.</translation>
    </message>
    <message>
        <source>本体の画像に顔%1はありません。1から%2の番号を選んでください。</source>
        <translation>The body picture has no face %1; choose a number from 1 to %2.</translation>
    </message>
    <message>
        <source>%1に人物「%2」は見つかりませんでした。選べるのは %3 です。</source>
        <translation>No person &quot;%2&quot; was found for %1; choose one of %3.</translation>
    </message>
    <message>
        <source>不明</source>
        <translation>unknown</translation>
    </message>
    <message>
        <source>%1 *</source>
        <translation>%1 *</translation>
    </message>
    <message>
        <source>Usage: %1 [OPTION]...
Make a joke portrait: the face of one person pasted onto the picture of another.
Without options the windows open; with --body, --face and --output the same run
happens on the terminal.

  --body NAME         person whose picture is the body
  --face NAME         person whose face is pasted in
  --output FILE       where to write the portrait (JPEG)
  --force             replace FILE (and the --preview file) if it exists
  --blend STYLE       classic (the face box over each face) or natural (eyes
                      aligned, colours matched, seamless edge); default from
                      $NORVO_BLEND, then blend= in norvo.conf, else classic
  --preview FILE.png  also write the body, the face and both blends side by side
  --candidates        instead of a portrait, list the people and the pictures the
                      two searches find, numbered, with the faces in each
  --body-pick N       use the N-th body picture of that list (--face-pick N: the
                      N-th face picture) instead of the one with the largest face
  --body-person ID    look only for this person&apos;s pictures (--face-person ID: for
                      the face); the ids are those --candidates lists
  --faces LIST        replace only these faces of the body picture, numbered left
                      to right (e.g. 1,3)
  --search-url URL    image search service (default: $NORVO_SEARCH_URL)
  --detect-url URL    face detection service (default: $NORVO_DETECT_URL)
  --no-label          save the portrait without the metadata that says what it
                      is and credits its source pictures
  --sources LIST      where the bundled service looks for pictures, in order:
                      gallery, wikimedia, searxng=URL (default: $NORVO_SOURCES,
                      else sources= in norvo.conf, else gallery,wikimedia)
  --offline           the bundled gallery only: no name leaves this computer
  --verbose           print every step of the run
  --help              display this help and exit
  --version           output version information and exit

The natural blend reads dlib&apos;s face landmark model from
/usr/share/dlib/shape_predictor_68_face_landmarks.dat, or the file named by
$NORVO_LANDMARK_MODEL; without it the classic blend is used.

When neither service is named, the bundled gallery service is started on a free
local port and used for both; when only one is named, it serves both. A name the
bundled gallery does not know is then looked up on Wikipedia and Wikimedia
Commons (the name is sent to them), unless --offline is given.

Exit status: 0 when the portrait was written (or the candidates listed), 1 when it
was not, 2 for unusable options or a choice the searches cannot meet.
</source>
        <translation>Usage: %1 [OPTION]...
Make a joke portrait: the face of one person pasted onto the picture of another.
Without options the windows open; with --body, --face and --output the same run
happens on the terminal.

  --body NAME         person whose picture is the body
  --face NAME         person whose face is pasted in
  --output FILE       where to write the portrait (JPEG)
  --force             replace FILE (and the --preview file) if it exists
  --blend STYLE       classic (the face box over each face) or natural (eyes
                      aligned, colours matched, seamless edge); default from
                      $NORVO_BLEND, then blend= in norvo.conf, else classic
  --preview FILE.png  also write the body, the face and both blends side by side
  --candidates        instead of a portrait, list the people and the pictures the
                      two searches find, numbered, with the faces in each
  --body-pick N       use the N-th body picture of that list (--face-pick N: the
                      N-th face picture) instead of the one with the largest face
  --body-person ID    look only for this person&apos;s pictures (--face-person ID: for
                      the face); the ids are those --candidates lists
  --faces LIST        replace only these faces of the body picture, numbered left
                      to right (e.g. 1,3)
  --search-url URL    image search service (default: $NORVO_SEARCH_URL)
  --detect-url URL    face detection service (default: $NORVO_DETECT_URL)
  --no-label          save the portrait without the metadata that says what it
                      is and credits its source pictures
  --sources LIST      where the bundled service looks for pictures, in order:
                      gallery, wikimedia, searxng=URL (default: $NORVO_SOURCES,
                      else sources= in norvo.conf, else gallery,wikimedia)
  --offline           the bundled gallery only: no name leaves this computer
  --verbose           print every step of the run
  --help              display this help and exit
  --version           output version information and exit

The natural blend reads dlib&apos;s face landmark model from
/usr/share/dlib/shape_predictor_68_face_landmarks.dat, or the file named by
$NORVO_LANDMARK_MODEL; without it the classic blend is used.

When neither service is named, the bundled gallery service is started on a free
local port and used for both; when only one is named, it serves both. A name the
bundled gallery does not know is then looked up on Wikipedia and Wikimedia
Commons (the name is sent to them), unless --offline is given.

Exit status: 0 when the portrait was written (or the candidates listed), 1 when it
was not, 2 for unusable options or a choice the searches cannot meet.
</translation>
    </message>
    <message>
        <source>invalid picture number &apos;%1&apos; (a number from 1, as --candidates lists them)</source>
        <translation>invalid picture number &apos;%1&apos; (a number from 1, as --candidates lists them)</translation>
    </message>
    <message>
        <source>the person id of &apos;%1&apos; is empty</source>
        <translation>the person id of &apos;%1&apos; is empty</translation>
    </message>
    <message>
        <source>invalid face list &apos;%1&apos; (face numbers from 1 separated by commas, e.g. 1,3)</source>
        <translation>invalid face list &apos;%1&apos; (face numbers from 1 separated by commas, e.g. 1,3)</translation>
    </message>
    <message>
        <source>本体 人物 %1: %2</source>
        <translation>body person %1: %2</translation>
    </message>
    <message>
        <source>顔 人物 %1: %2</source>
        <translation>face person %1: %2</translation>
    </message>
    <message>
        <source>本体 %1: %2 — 顔%3個 — %4</source>
        <translation>body %1: %2 — faces: %3 — %4</translation>
    </message>
    <message>
        <source>顔 %1: %2 — 顔%3個 — %4</source>
        <translation>face %1: %2 — faces: %3 — %4</translation>
    </message>
    <message>
        <source>少なくとも1つの顔は置き換えます。</source>
        <translation>At least one face is replaced.</translation>
    </message>
    <message>
        <source>メモリが足りないため、選んだ画像で合成できませんでした。</source>
        <translation>Not enough memory to blend the chosen pictures.</translation>
    </message>
    <message>
        <source>前の画像</source>
        <translation>Previous picture</translation>
    </message>
    <message>
        <source>次の画像</source>
        <translation>Next picture</translation>
    </message>
    <message>
        <source>人物を選ぶ</source>
        <translation>Choose the person</translation>
    </message>
    <message>
        <source>顔をクリックすると、その顔を置き換えるかどうかを切り替えます。</source>
        <translation>Click a face to switch its replacement off or on.</translation>
    </message>
</context>
</TS>
