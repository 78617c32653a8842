;;; marquill-tests.el --- ERT tests of marquill.el  -*- lexical-binding: t -*-

;; Run by editors_test.py with emacs --batch under LANG=C: the cases of
;; $MARQUILL_PLAN (documents.txt with the filter's expected output), then
;; the toggle table, markers, the toggle's symbol and prefix, the menu
;; through keys and its order, what stays outside the buffer, the settings
;; and compilation mode.  $MARQUILL_WORK holds the settings file and the
;; default one under $XDG_CONFIG_HOME.

(require 'ert)
(require 'json)
(require 'compile)
(require 'cl-lib)
(require 'cl-lib)
(require 'python)
(require 'marquill)

(defun marquill-test--plan-file ()
  (let ((coding-system-for-read 'utf-8)
        (json-array-type 'list) (json-object-type 'plist) (json-key-type 'keyword))
    (json-read-file (getenv "MARQUILL_PLAN"))))

(defun marquill-test--plan ()
  (plist-get (marquill-test--plan-file) :cases))

(defun marquill-test--bytes (file)
  (with-temp-buffer
    (set-buffer-multibyte nil)
    (insert-file-contents-literally file)
    (buffer-string)))

(defun marquill-test--coding (ff)
  (intern (format "utf-8-%s" ff)))

(defmacro marquill-test--with-document (file ff &rest body)
  "Run BODY in a buffer holding FILE read with line ends FF, undo on."
  (declare (indent 2))
  `(with-temp-buffer
     (let ((coding-system-for-read (marquill-test--coding ,ff)))
       (insert-file-contents ,file))
     (setq buffer-file-coding-system (marquill-test--coding ,ff))
     (buffer-enable-undo)
     ,@body))

(defun marquill-test--written (ff)
  "The buffer's text as the file it would be written to."
  (encode-coding-string (buffer-string) (marquill-test--coding ff) t))

(defun marquill-test--lines (first last)
  "The positions of lines FIRST..LAST, as a region ending at LAST's end."
  (save-excursion
    (goto-char (point-min))
    (forward-line (1- first))
    (let ((start (point)))
      (forward-line (- last first))
      (list start (line-end-position)))))

(defun marquill-test--undo ()
  (when (consp buffer-undo-list)
    (primitive-undo 1 buffer-undo-list)))

(ert-deftest marquill-documents ()
  "Each case: the lines equal the filter's output byte for byte, the rest is
untouched, one undo restores, and a failure changes nothing and names the
buffer's line."
  (let ((skipped 0))
    (dolist (case (marquill-test--plan))
      (let ((ff (plist-get case :ff)) message)
        (marquill-test--with-document (plist-get case :document) ff
          ;; Emacs reads a LF in a file of CR line ends as a line end too and
          ;; writes it as CR: such a file does not survive even unedited.
          (if (not (equal (marquill-test--written ff) (marquill-test--bytes (plist-get case :document))))
              (setq skipped (1+ skipped))
            (condition-case err
                (apply #'marquill-filter-region
                       (append (marquill-test--lines (plist-get case :first) (plist-get case :last))
                               (list (plist-get case :argv))))
              (user-error (setq message (cadr err))))
            (should (equal (list (plist-get case :arguments) (marquill-test--written ff))
                           (list (plist-get case :arguments) (marquill-test--bytes (plist-get case :expected_file)))))
            (if (eq (plist-get case :ok) t)
                (should-not message)
              (should message)
              (let ((first (car (split-string message "\n"))) (want (plist-get case :expected)))
                (if (eq (plist-get case :suffix) t)
                    (should (and (string-prefix-p "marquill: " first) (string-suffix-p want first)))
                  (should (equal first want)))))
            (marquill-test--undo)
            (should (equal (marquill-test--written ff) (marquill-test--bytes (plist-get case :document))))))))
    ;; Only the mac case of a file holding a LF.
    (should (<= skipped 1))))

(defun marquill-test--japanese ()
  "The `process-environment' under which the filter speaks Japanese: the
menu's fixed captions typed in the tests are the Japanese user's."
  (cons "LC_ALL=ja_JP.UTF-8" process-environment))

(defmacro marquill-test--with-text (text &rest body)
  "Run BODY in a buffer holding TEXT, shown in the selected window as keys
need, with the test's settings file."
  (declare (indent 1))
  `(let ((marquill-settings-file (getenv "MARQUILL_SETTINGS_FILE")))
     (with-temp-buffer
       (switch-to-buffer (current-buffer))
       (insert ,text)
       (setq buffer-file-coding-system 'utf-8-unix)
       (buffer-enable-undo)
       (undo-boundary)
       ,@body)))

(defmacro marquill-test--with-japanese-text (text &rest body)
  "`marquill-test--with-text' with the filter speaking Japanese."
  (declare (indent 1))
  `(let ((process-environment (marquill-test--japanese)))
     (marquill-test--with-text ,text ,@body)))

(ert-deftest marquill-toggle-twice ()
  "The toggle inserts at the column of least indentation in the non-blank
lines, takes it off again, and each is one undo step."
  (marquill-test--with-text "  a\n\n    b\n"
    (let ((marquill-toggle-entry "シェル"))
      (marquill-toggle (point-min) (point-max))
      (should (equal (buffer-string) "  # a\n\n  #   b\n"))
      (undo-boundary)
      (marquill-toggle (point-min) (point-max))
      (should (equal (buffer-string) "  a\n\n    b\n"))
      (marquill-test--undo)
      (should (equal (buffer-string) "  # a\n\n  #   b\n")))))

(ert-deftest marquill-toggle-table ()
  "Each document of the toggle table, toggled twice over the whole buffer
with the row's `tab-width' and \"#\" as `comment-start', is written after
each toggle for the test to compare."
  (dolist (row (plist-get (marquill-test--plan-file) :toggles))
    (let ((ff (plist-get row :ff)))
      (marquill-test--with-document (plist-get row :document) ff
        (setq-local tab-width (plist-get row :width) comment-start "#" comment-end "")
        (dolist (n '(1 2))
          (marquill-toggle (point-min) (point-max))
          (let ((coding-system-for-write 'no-conversion))
            (write-region (marquill-test--written ff) nil
                          (format "%s-emacs-%d" (plist-get row :out) n) nil 'silent)))))))

(ert-deftest marquill-markers-stay ()
  "A marker inside an edited line, an overlay on one, point and another
window's point keep their characters; one undo gives the text back."
  (dolist (row '(("  abc\n    def\nghi\n" 2 ("toggle" "-e" "# ") "  # abc\n  #   def\nghi\n")
                 ("  # abc\n  #   def\nghi\n" 2 ("toggle" "-e" "# ") "  abc\n    def\nghi\n")
                 ("abc\ndef\nghi\n" 3 ("insert" "-e" "> ") "> abc\n> def\n> ghi\n")))
    (marquill-test--with-text (car row)
      (let* ((at (lambda (text) (save-excursion (goto-char (point-min)) (search-forward text) (match-beginning 0))))
             (marker (copy-marker (funcall at "b")))
             (line-start (copy-marker (funcall at "a")))
             (overlay (make-overlay (funcall at "def") (+ (funcall at "def") 3)))
             (window (split-window)))
        (set-window-point window (funcall at "e"))
        (goto-char (funcall at "c"))
        (apply #'marquill-filter-region (append (marquill-test--lines 1 (nth 1 row)) (list (nth 2 row))))
        (should (equal (buffer-string) (nth 3 row)))
        (should (equal (list (char-after marker) (char-after line-start) (char-after) (char-after (window-point window))
                             (buffer-substring (overlay-start overlay) (overlay-end overlay)))
                       (list ?b ?a ?c ?e "def")))
        (delete-window window)
        (marquill-test--undo)
        (should (equal (buffer-string) (car row)))))))

(ert-deftest marquill-toggle-symbol ()
  "The toggle's symbol: the buffer's `marquill-toggle-entry', else a line
comment's `comment-start' with a blank, else the first entry."
  (dolist (row '((nil "# " "" "# ") ("シェル" "// " "" "# ") (2 ";" "" "// ") (nil ";;" nil ";; ")
                 (nil "/* " " */" "> ") (nil nil nil "> ") (nil "  " "" "> ")))
    (marquill-test--with-text "x\n"
      (setq-local comment-start (nth 1 row) comment-end (nth 2 row))
      (setq marquill-toggle-entry (car row))
      (marquill-toggle (point-min) (point-max))
      (should (equal (list row (buffer-string)) (list row (concat (nth 3 row) "x\n"))))))
  (should-not (default-value 'marquill-toggle-entry))
  (should (safe-local-variable-p 'marquill-toggle-entry "シェル"))
  ;; From a mode hook, for the mode's buffers alone.
  (dolist (row (list (cons nil "# x\n") (cons (lambda () (setq marquill-toggle-entry "メール引用")) "> x\n")))
    (marquill-test--with-text "x\n"
      (let ((python-mode-hook (and (car row) (list (car row)))))
        (python-mode))
      (marquill-toggle (point-min) (point-max))
      (should (equal (buffer-string) (cdr row)))))
  (should-not (default-value 'marquill-toggle-entry)))

(ert-deftest marquill-toggle-prefix ()
  "A numeric prefix toggles that many lines, backwards when negative."
  (dolist (row '(("C-u 2" 1 "# a\n# b\nc\nd\n") ("" 2 "a\n# b\nc\nd\n") ("C-u - 2" 3 "a\n# b\n# c\nd\n")
                 ("C-u 9" 3 "a\nb\n# c\n# d\n")))
    (marquill-test--with-text "a\nb\nc\nd\n"
      (setq-local comment-start "#" comment-end "")
      (goto-char (point-min))
      (forward-line (1- (nth 1 row)))
      (execute-kbd-macro (vconcat (kbd (car row)) (kbd "M-x") "marquill-toggle" (kbd "RET")))
      (should (equal (list row (buffer-string)) (list row (nth 2 row)))))))

(ert-deftest marquill-menu-order ()
  "The menu lists its items in the filter's order, as the user sees them."
  (marquill-test--with-text "x\n"
    (let* ((process-environment (marquill-test--japanese))
           (items (alist-get 'items (alist-get 'menu (marquill--describe))))
           (shown nil))
      (cl-letf (((symbol-function 'completing-read)
                 (lambda (_prompt table &rest _)
                   (let* ((metadata (completion-metadata "" table nil))
                          (sort (or (completion-metadata-get metadata 'display-sort-function)
                                    (lambda (candidates) (sort candidates #'string<)))))
                     (push (funcall sort (all-completions "" table)) shown))
                   "キャンセル")))
        (marquill (point-min) (point-max)))
      (should (equal (car shown)
                     (delete-dups (mapcar (lambda (item) (or (alist-get 'group item) (alist-get 'caption item)))
                                          items)))))))

(ert-deftest marquill-outside-the-buffer ()
  "FILE operands, - and -i are refused; the buffer and a file named like
an argument stay as they were."
  (let ((default-directory (file-name-as-directory (getenv "MARQUILL_WORK"))))
    (with-temp-file "other.txt" (insert "keep\n"))
    (dolist (args '(("insert" "-e" "x" "other.txt") ("insert" "-e" "x" "-") ("toggle" "-e" "x" "--" "other.txt")
                    ("insert" "-i" "-e" "x" "other.txt") ("insert" "--in-place=.bak" "-e" "x" "other.txt")
                    ("delete-all" "other.txt") ("-i" "insert" "-e" "x" "other.txt")))
      (marquill-test--with-text "a\n"
        (let ((err (should-error (marquill-filter-region (point-min) (point-max) args) :type 'user-error)))
          (should (string-prefix-p "marquill: " (cadr err)))
          (should-not (string-match-p "--help" (cadr err))))
        (should (equal (buffer-string) "a\n"))
        (should (equal (marquill-test--bytes "other.txt") "keep\n"))
        (should-not (file-exists-p "other.txt.bak"))))))

(ert-deftest marquill-default-settings ()
  "With no settings file set, the filter's default one is used."
  (let ((marquill-settings-file nil))
    (with-temp-buffer
      (insert "# a\n")
      (marquill-delete-once (point-min) (point-max))
      (should (equal (buffer-string) "a\n")))))

(ert-deftest marquill-menu-keys ()
  "The menu, chosen with keys: 文字先頭位置に挿入 › 全ての行 › an entry,
then 先頭文字を削除 › 全て削除, then キャンセル."
  (marquill-test--with-japanese-text "  a\n    b\nc\n"
    (transient-mark-mode 1)
    (goto-char (point-min))
    (push-mark (point) t t)
    (forward-line 2)
    (execute-kbd-macro (vconcat (kbd "M-x") "marquill" (kbd "RET") "文字先頭位置に挿入" (kbd "RET")
                                "全ての行" (kbd "RET") "C/C++ コメント" (kbd "RET")))
    (should (equal (buffer-string) "  // a\n  //   b\nc\n"))
    (goto-char (point-min))
    (push-mark (point-max) t t)
    (execute-kbd-macro (vconcat (kbd "M-x") "marquill" (kbd "RET") "先頭文字を削除" (kbd "RET")
                                "全て削除" (kbd "RET")))
    (should (equal (buffer-string) "  a\n    b\nc\n"))
    (execute-kbd-macro (vconcat (kbd "M-x") "marquill" (kbd "RET") "キャンセル" (kbd "RET")))
    (should (equal (buffer-string) "  a\n    b\nc\n"))))

(ert-deftest marquill-edit-settings-file ()
  "設定編集 opens the code page 932 settings file decoded, in another window."
  (let ((marquill-settings-file (getenv "MARQUILL_SETTINGS_FILE"))
        (process-environment (marquill-test--japanese)))
    (with-temp-buffer
      (execute-kbd-macro (vconcat (kbd "M-x") "marquill" (kbd "RET") "設定編集" (kbd "RET")))
      (should (equal (buffer-file-name) (getenv "MARQUILL_SETTINGS_FILE")))
      (should (string-match-p "メール引用" (buffer-string)))
      (should (eq (coding-system-base buffer-file-coding-system) 'japanese-cp932))
      (kill-buffer))))

;; 0xE9 alone is no UTF-8: the filter's "path" shows U+FFFD in its place.
(ert-deftest marquill-edit-settings-path-not-utf-8 ()
  "設定編集 opens the settings file whose name is not UTF-8: that very file."
  (let ((file (expand-file-name (concat "caf" (string #x3fffe9) ".txt") (getenv "MARQUILL_WORK"))))
    (let ((coding-system-for-write 'utf-8))
      (with-temp-file file (insert "> \tq\n")))
    (cl-flet ((bytes (name) (encode-coding-string name (or file-name-coding-system
                                                            default-file-name-coding-system))))
      (let ((marquill-settings-file file)
            (process-environment (marquill-test--japanese)))
        (should (equal (bytes (marquill-settings-file)) (bytes file)))
        (with-temp-buffer
          (execute-kbd-macro (vconcat (kbd "M-x") "marquill" (kbd "RET") "設定編集" (kbd "RET")))
          (should (equal (list (bytes (buffer-file-name)) (buffer-string)) (list (bytes file) "> \tq\n")))
          (kill-buffer))))))

;; Keys of each action that takes an entry: the menu's per-entry items,
;; 1つ削除 and 全て削除, the single commands and the toggle's entry.
(defconst marquill-test--entry-actions
  '(("marquill" "行頭に挿入" "全ての行") ("marquill" "先頭文字を削除" "1つ削除")
    ("marquill" "先頭文字を削除" "全て削除") ("marquill" "先頭文字を削除" "指定して削除")
    ("marquill-insert") ("marquill-insert-at-char") ("marquill-delete") ("marquill-delete-once")
    ("marquill-delete-all") ("marquill-toggle")))

(ert-deftest marquill-unreadable-settings ()
  "A settings file that cannot be read (a NUL in it): every action that
takes an entry shows the filter's own message and leaves the buffer;
設定編集 still opens the file."
  (let* ((process-environment (marquill-test--japanese))
         (file (expand-file-name "bad-settings.txt" (getenv "MARQUILL_WORK")))
         (said (progn
                 (with-temp-file file
                   (set-buffer-multibyte nil)
                   (insert "> \tquote\n# \tsh\0ell\n"))
                 (with-temp-buffer
                   (call-process marquill-program nil t nil "entries" "--settings" file)
                   (string-trim-right (buffer-string))))))
    (should (string-match-p (concat "\\`marquill:.*" (regexp-quote file)) said))
    (dolist (keys marquill-test--entry-actions)
      (marquill-test--with-text "> a\nb\n"
        (let ((marquill-settings-file file) (marquill-toggle-entry nil))
          (setq-local comment-start nil)
          (goto-char (point-min))
          (should (equal (list keys said)
                         (list keys (cadr (should-error
                                           (execute-kbd-macro
                                            (apply #'vconcat (kbd "M-x")
                                                   (mapcar (lambda (key) (vconcat key (kbd "RET"))) keys)))
                                           :type 'user-error)))))
          (should (equal (buffer-string) "> a\nb\n")))))
    (let ((marquill-settings-file file))
      (with-temp-buffer
        (execute-kbd-macro (vconcat (kbd "M-x") "marquill" (kbd "RET") "設定編集" (kbd "RET")))
        (should (equal (list (buffer-file-name) (buffer-string)) (list file "> \tquote\n# \tsh\0ell\n")))
        (kill-buffer)))))

(ert-deftest marquill-insert-prefix ()
  "With a prefix argument the insertions ask for the lines by the menu's
captions, and give what the menu's item gives; without, every line."
  (let* ((text "a\n\n  b\n\n    c\nd\n")
         (items (marquill-test--with-text "" (alist-get 'items (alist-get 'menu (marquill--describe))))))
    (dolist (command '(("marquill-insert" "head") ("marquill-insert-at-char" "char")))
      (dolist (item (cons nil (seq-filter (lambda (item) (equal (seq-take (alist-get 'args item) 3)
                                                                 (list "insert" "--at" (cadr command))))
                                          items)))
        (let ((want (marquill-test--with-text text
                      (marquill-filter-region (point-min) (point-max)
                                              (append (if item (alist-get 'args item)
                                                        (list "insert" "--at" (cadr command) "--lines" "all"))
                                                      '("--entry" "メール引用")))
                      (buffer-string))))
          (marquill-test--with-text text
            (transient-mark-mode 1)
            (goto-char (point-min))
            (push-mark (point-max) t t)
            (execute-kbd-macro (vconcat (and item (kbd "C-u")) (kbd "M-x") (car command) (kbd "RET")
                                        "メール引用" (kbd "RET")
                                        (and item (vconcat (alist-get 'caption item) (kbd "RET")))))
            (should (equal (list command item (buffer-string)) (list command item want)))))))))

(ert-deftest marquill-failure-keeps-buffer ()
  "A usage error leaves the buffer and its undo list alone and shows the message."
  (marquill-test--with-text "a\n"
    (let ((undo buffer-undo-list)
          (err (should-error (marquill-filter-region (point-min) (point-max) '("insert" "--at" "nowhere" "-e" "x"))
                             :type 'user-error)))
      (should (string-prefix-p "marquill: " (cadr err)))
      (should (equal (buffer-string) "a\n"))
      (should (eq buffer-undo-list undo)))))

(ert-deftest marquill-error-place ()
  "A place the filter names is shown as the buffer's line and column; a
CR inside a line is no line end for the filter."
  (let ((marquill-program (getenv "MARQUILL_STUB")))
    (dolist (case '(("2:2" unix ":3:2: ") ("1:5" unix ":2:3: ") ("1:1" unix ":2:1: ") ("3:1" unix ":4:1: ")
                    ("9:1" unix nil) ("3:1" dos ":4:1: ")))
      (let ((process-environment (cons (format "MARQUILL_STUB_MESSAGE=marquill:-:%s: not valid UTF-8" (car case))
                                       process-environment)))
        (with-temp-buffer
          (insert "ok\na\rb\rc\nbad here\nafter\n")
          (setq buffer-file-coding-system (marquill-test--coding (nth 1 case)))
          (let ((message (cadr (should-error (apply #'marquill-filter-region
                                                    (append (marquill-test--lines 2 4) '(("insert" "-e" "x"))))
                                             :type 'user-error))))
            (if (nth 2 case)
                (should (equal message (concat "marquill: " (buffer-name) (nth 2 case) "not valid UTF-8")))
              (should (equal message (format "marquill:-:%s: not valid UTF-8" (car case)))))))))))

(ert-deftest marquill-point-stays ()
  "Point and mark keep their characters, inside the lines and after them."
  (dolist (case '(("insert" "--at" "char" "-e" "> ") ("delete" "-e" "x")))
    (marquill-test--with-text "  xa\n  xbcd\n  xe\nxtail\n"
      (goto-char (point-min))
      (search-forward "e")
      (set-marker (mark-marker) (1- (point)))
      (goto-char (point-min))
      (search-forward "cd")
      (backward-char 2)
      (let ((after (copy-marker (1- (point-max)))))
        (marquill-filter-region (point-min) (line-beginning-position 3) case)
        (should (looking-at "cd\n"))
        (should (eq (char-after (mark t)) ?e))
        (should (equal (buffer-substring after (point-max)) "\n"))))))

(ert-deftest marquill-customize-group ()
  "customize-group marquill offers the program, the settings file and the toggle's entry."
  (should (equal (sort (mapcar #'car (get 'marquill 'custom-group)) #'string<)
                 '(marquill-program marquill-settings-file marquill-starter-file marquill-toggle-entry))))

(ert-deftest marquill-compilation-mode ()
  "Compilation mode takes the filter's error position to the file's line and column."
  (let* ((file (expand-file-name "compile-bad.txt" (getenv "MARQUILL_WORK")))
         (buffer nil))
    (with-temp-file file
      (set-buffer-multibyte nil)
      (insert "fine\nbad \xff here\n"))
    ;; Until the filter names the place of a bad byte in the GNU form there
    ;; is nothing for compilation mode to read.
    (skip-unless (string-match-p "^marquill:[^: ]+:[0-9]+:[0-9]+: "
                                 (with-temp-buffer
                                   (call-process marquill-program nil t nil "insert" "-e" "> " file)
                                   (buffer-string))))
    (let ((default-directory (file-name-directory file)))
      (setq buffer (compilation-start (format "marquill insert -e '> ' %s" (file-name-nondirectory file))))
      ;; Until the sentinel has written its last line: the output may still
      ;; be unread when the process has ended.
      (let ((waited 0))
        (while (and (< waited 200)
                    (not (with-current-buffer buffer
                           (save-excursion
                             (goto-char (point-max))
                             (re-search-backward "^Compilation \\(finished\\|exited\\)" nil t)))))
          (accept-process-output nil 0.05)
          (setq waited (1+ waited)))))
    (let (place)
      (with-current-buffer buffer
        (goto-char (point-min))
        (compilation-next-error 1)
        (compile-goto-error)
        (with-current-buffer (window-buffer (selected-window))
          (setq place (list (buffer-file-name) (line-number-at-pos) (1+ (current-column))))
          (kill-buffer)))
      (should (equal place (list file 2 5))))))

(ert-deftest marquill-file-types ()
  "Each file of the plan's table, in the mode Emacs gives it, toggled
twice and written after each; the message when the toggle refuses.
editors_test.py compares the files."
  ;; Debian's modes for YAML and Lua, which emacs -Q does not activate.
  (dolist (autoloads (file-expand-wildcards "/usr/share/emacs/site-lisp/elpa/*/*-mode-autoloads.el"))
    (add-to-list 'load-path (file-name-directory autoloads))
    (load autoloads nil t))
  (let ((marquill-settings-file (getenv "MARQUILL_SETTINGS_FILE"))
        (python-indent-guess-indent-offset nil))
    (dolist (type (plist-get (marquill-test--plan-file) :types))
      (let ((buffer (find-file-noselect (plist-get type :file)))
            (message ""))
        (with-current-buffer buffer
          (dolist (n '(1 2))
            (condition-case err
                (marquill-toggle (point-min) (point-max))
              (user-error (setq message (cadr err))))
            (let ((coding-system-for-write 'utf-8-unix))
              (write-region nil nil (format "%s-emacs-%d" (plist-get type :out) n)))))
        (with-temp-file (format "%s-emacs-message" (plist-get type :out))
          (insert message))
        (with-current-buffer buffer
          (set-buffer-modified-p nil))
        (kill-buffer buffer)))))

(ert-deftest marquill-access-keys ()
  "An entry is chosen by its caption, by its access key, and an empty
answer cancels; the choices show each entry's symbol and key."
  (dolist (row '(("C/C++ コメント" "// x\n") ("c" "// x\n") ("M" "> x\n") ("" "x\n")))
    (marquill-test--with-text "x\n"
      (goto-char (point-min))
      (condition-case nil
          (execute-kbd-macro (vconcat (kbd "M-x") "marquill-insert" (kbd "RET") (car row) (kbd "RET")))
        (quit nil))
      (should (equal (list row (buffer-string)) (list row (cadr row))))))
  (marquill-test--with-text "x\n"
    (let ((shown nil))
      (cl-letf (((symbol-function 'completing-read)
                 (lambda (_prompt table &rest _)
                   (let ((annotate (completion-metadata-get (completion-metadata "" table nil)
                                                            'annotation-function)))
                     (setq shown (mapcar (lambda (c) (concat c (funcall annotate c)))
                                         (all-completions "" table))))
                   "")))
        (should (eq 'quit (condition-case nil (call-interactively #'marquill-insert) (quit 'quit)))))
      (should (member "メール引用  >   (&M)" shown)))))

(ert-deftest marquill-first-run ()
  "With no settings file, editing the settings makes it from the starter
list and opens it; a toggle's message names the option to set."
  (let* ((folder (make-temp-file "marquill-first" t))
         (marquill-settings-file (expand-file-name "new/Marquill_Setting.txt" folder))
         (marquill-starter-file (getenv "MARQUILL_STARTER")))
    (marquill-test--with-text "x\n"
      (let* ((marquill-settings-file (expand-file-name "new/Marquill_Setting.txt" folder))
             (err (should-error (marquill-toggle (point-min) (point-max)) :type 'user-error)))
        (should (string-match-p "marquill-settings-file" (cadr err)))
        (should-not (string-match-p "--settings" (cadr err)))))
    (cl-letf (((symbol-function 'y-or-n-p) (lambda (&rest _) t)))
      (save-window-excursion
        (marquill-edit-settings)
        (should (equal (buffer-file-name) marquill-settings-file))
        (kill-buffer)))
    (should (equal (marquill-test--bytes marquill-settings-file) (marquill-test--bytes marquill-starter-file)))
    ;; The documented example's entry is in the starter list.
    (marquill-test--with-text "x\n"
      (setq marquill-toggle-entry "シェル/Python コメント")
      (let ((marquill-settings-file marquill-starter-file))
        (marquill-toggle (point-min) (point-max)))
      (should (equal (buffer-string) "# x\n")))
    (delete-directory folder t)))

(ert-deftest marquill-keys-and-menu-bar ()
  "The command map holds the commands, and Tools has its menu."
  (should (eq (lookup-key marquill-command-map "t") 'marquill-toggle))
  (should (eq (lookup-key marquill-command-map "s") 'marquill-edit-settings))
  (should (lookup-key global-map [menu-bar tools marquill])))

;;; marquill-tests.el ends here
