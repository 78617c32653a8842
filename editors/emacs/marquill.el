;;; marquill.el --- Head symbols from a Marquill settings file  -*- lexical-binding: t -*-

;; Copyright (c) the Marquill authors
;; Keywords: convenience, text

;;; Commentary:

;; Inserts, deletes and toggles head symbols such as "> " or "// " in the
;; lines of the region (or the current line) through the `marquill' filter,
;; with the symbols of the Marquill settings file that the Windows plug-in
;; uses.  `M-x marquill' opens the plug-in's menu.  The region's text goes
;; to the filter as UTF-8 with the buffer's own line ends, whatever the
;; locale, and comes back the same way: only the filter's edits change.

;;; Code:

(require 'subr-x)

(defgroup marquill nil
  "Insert and delete head symbols with the marquill filter."
  :group 'editing
  :prefix "marquill-")

(defcustom marquill-program "marquill"
  "The marquill filter program."
  :type 'string)

(defcustom marquill-settings-file nil
  "The settings file: symbol, a tab and a caption on each line.
nil: the filter's default, $MARQUILL_SETTINGS or
$XDG_CONFIG_HOME/marquill/Marquill_Setting.txt (~/.config when unset)."
  :type '(choice (const :tag "The filter's default" nil) file))

(defcustom marquill-toggle-entry nil
  "The entry `marquill-toggle' uses: its number from 1 or its caption.
nil: the first entry."
  :type '(choice (const :tag "The first entry" nil) integer string))

(defconst marquill--line-choices
  '(("全ての行" . "all") ("空白行を除く" . "nonblank")
    ("最小インデント行のみ" . "least") ("空白行の次の行のみ" . "after-blank"))
  "The menu's line choices and the filter's names for them.")

;;;; Running the filter

(defun marquill-settings-file ()
  "The settings file in effect, as the filter looks for it."
  (cond (marquill-settings-file (expand-file-name marquill-settings-file))
        ((not (string-empty-p (or (getenv "MARQUILL_SETTINGS") "")))
         (getenv "MARQUILL_SETTINGS"))
        (t (expand-file-name "marquill/Marquill_Setting.txt"
                             (let ((xdg (getenv "XDG_CONFIG_HOME")))
                               (if (and xdg (not (string-empty-p xdg))) xdg "~/.config"))))))

(defun marquill--coding ()
  "UTF-8 with the buffer's line ends, so that the bytes are the file's."
  (let ((eol (coding-system-eol-type buffer-file-coding-system)))
    (coding-system-change-eol-conversion 'utf-8 (if (vectorp eol) 'unix eol))))

(defun marquill--call (start end args output)
  "Run the program with ARGS on START..END into buffer OUTPUT.
Returns (STATUS . ERROR-TEXT).  Text and arguments are UTF-8."
  (let ((errors (make-temp-file "marquill-errors"))
        (coding (marquill--coding)))
    (unwind-protect
        (let* ((coding-system-for-write coding)
               (coding-system-for-read coding)
               ;; The settings file reaches the filter as its default one.
               (process-environment
                (if marquill-settings-file
                    (cons (concat "MARQUILL_SETTINGS=" (expand-file-name marquill-settings-file))
                          process-environment)
                  process-environment))
               (status (condition-case nil
                           (apply #'call-process-region start end marquill-program
                                  nil (list output errors) nil args)
                         (file-missing
                          (user-error "marquill: program not found: %s (customize `marquill-program')"
                                      marquill-program)))))
          (cons status
                (with-temp-buffer
                  (let ((coding-system-for-read 'utf-8))
                    (insert-file-contents errors))
                  (string-trim-right (buffer-string)))))
      (delete-file errors))))

(defun marquill--line-bounds (start end)
  "The whole lines from START to END, each with its line end."
  (save-excursion
    (let ((beg (progn (goto-char (min start end)) (line-beginning-position))))
      (goto-char (max start end))
      (unless (and (bolp) (> (point) beg))
        (forward-line 1))
      (cons beg (point)))))

(defun marquill--message (text beg end)
  "The filter's error TEXT, its first line naming the buffer's line and
column when the filter named a place in the text BEG..END."
  (let ((lines (split-string (if (string-empty-p text) "marquill: failed" text) "\n" t)))
    (when (string-match "\\`marquill:-:\\([0-9]+\\):\\([0-9]+\\): \\(.*\\)\\'" (car lines))
      (let* ((line (string-to-number (match-string 1 (car lines))))
             (column (string-to-number (match-string 2 (car lines))))
             (message (match-string 3 (car lines)))
             (coding (marquill--coding))
             (bytes (encode-coding-string (buffer-substring-no-properties beg end) coding t))
             (separator (pcase (coding-system-eol-type coding) (1 "\r\n") (2 "\r") (_ "\n")))
             (pos 0))
        ;; The filter's lines end at CR LF, CR or LF.
        (dotimes (_ (1- line))
          (when pos
            (setq pos (and (string-match "\r\n\\|[\r\n]" bytes pos) (match-end 0)))))
        (when (and pos (<= (+ pos column -1) (length bytes)))
          (let ((offset (+ pos column -1)) (count 0) (start 0))
            (while (and (setq pos (string-search separator bytes start))
                        (< pos offset))
              (setq count (1+ count) start (+ pos (length separator))))
            (setcar lines (format "marquill: %s:%d:%d: %s" (buffer-name)
                                  (+ (line-number-at-pos beg t) count)
                                  (1+ (length (decode-coding-string (substring bytes start offset) coding)))
                                  message))))))
    (string-join lines "\n")))

(defun marquill--shared (a b)
  "How many characters strings A and B share at their start."
  (let ((c (compare-strings a nil nil b nil nil)))
    (if (eq c t) (length a) (1- (abs c)))))

(defun marquill--place (beg end pos)
  "POS as (LINE . FROM-END) within BEG..END: the filter edits line heads,
so a place keeps its distance from the end of its line."
  (when (and pos (<= beg pos end))
    (save-excursion
      (goto-char pos)
      (cons (count-lines beg (line-beginning-position)) (- (line-end-position) pos)))))

(defun marquill--goto-place (beg place)
  (goto-char beg)
  (forward-line (car place))
  (goto-char (max (line-beginning-position) (- (line-end-position) (cdr place)))))

(defun marquill--replace (beg end new)
  "Make BEG..END read NEW, replacing only what lies between the text they
share at their start and at their end.  Point and mark stay with their
text in the region."
  (let* ((old (buffer-substring-no-properties beg end))
         (head (marquill--shared old new))
         (tail (min (- (min (length old) (length new)) head)
                    (marquill--shared (reverse old) (reverse new))))
         (here (point))
         (point-place (marquill--place beg end here))
         (mark-place (marquill--place beg end (mark t))))
    (goto-char (+ beg head))
    (delete-char (- (length old) head tail))
    (insert (substring new head (- (length new) tail)))
    (when mark-place
      (save-excursion (marquill--goto-place beg mark-place) (set-marker (mark-marker) (point))))
    (cond (point-place (marquill--goto-place beg point-place))
          ((< here beg) (goto-char here))
          (t (goto-char (+ here (- (length new) (length old))))))))

;;;###autoload
(defun marquill-filter-region (start end args)
  "Run the marquill filter with ARGS, a list of strings, on the whole lines
from START to END.  The lines change only when the filter succeeds, as one
undo step; otherwise a `user-error' shows its message with the buffer's line."
  (barf-if-buffer-read-only)
  (let* ((bounds (marquill--line-bounds start end))
         (beg (car bounds)) (end (cdr bounds))
         (output (generate-new-buffer " *marquill-output*" t)))
    (unwind-protect
        (let ((result (marquill--call beg end args output)))
          (unless (eql (car result) 0)
            (user-error "%s" (marquill--message (cdr result) beg end)))
          (let ((new (with-current-buffer output (buffer-string))))
            (unless (string= new (buffer-substring-no-properties beg end))
              (unless (= (with-temp-buffer (insert new) (count-lines (point-min) (point-max)))
                         (count-lines beg end))
                (user-error "marquill: the output does not have the lines that went in"))
              (let ((group (prepare-change-group)))
                (unwind-protect
                    (progn
                      (activate-change-group group)
                      (marquill--replace beg end new)
                      (undo-amalgamate-change-group group))
                  (accept-change-group group))))))
      (kill-buffer output))))

;;;; Entries

(defun marquill--unescape (field)
  "FIELD as `marquill entries' prints it, with \\t \\r \\n and \\\\ decoded."
  (replace-regexp-in-string
   "\\\\\\(.\\)"
   (lambda (m) (pcase (match-string 1 m) ("t" "\t") ("r" "\r") ("n" "\n") (c c)))
   field t t))

(defun marquill-entries ()
  "The settings file's valid entries, as (SYMBOL . CAPTION), caption decoded."
  (with-temp-buffer
    (let ((result (marquill--call (point-min) (point-max)
                                  (list "entries") (current-buffer))))
      (unless (eql (car result) 0)
        (user-error "%s" (if (string-empty-p (cdr result)) "marquill: cannot read the settings" (cdr result))))
      (let (entries)
        (dolist (record (split-string (buffer-string) "\n" t))
          (when (string-match "\\`\\([^\t]+\\)\t\\(.*\\)\\'" record)
            (push (cons (marquill--unescape (match-string 1 record))
                        (marquill--unescape (match-string 2 record)))
                  entries)))
        (nreverse entries)))))

(defun marquill-shown-caption (caption)
  "CAPTION as the menu shows it: no & marks (&& is &), nothing from a tab on."
  (replace-regexp-in-string "&\\(.\\)" "\\1" (car (split-string caption "\t")) t))

(defun marquill--read-entry (prompt)
  "The symbol of an entry chosen by its caption, with completion."
  (let* ((entries (or (marquill-entries)
                      (user-error "marquill: the settings file has no entries: %s" (marquill-settings-file))))
         (table nil) (n 0))
    (dolist (entry (seq-take entries 1000))
      (setq n (1+ n))
      (let ((shown (marquill-shown-caption (cdr entry))))
        (when (assoc shown table)
          (setq shown (format "%s <%d>" shown n)))
        (push (cons shown (car entry)) table)))
    (setq table (nreverse table))
    (cdr (assoc (completing-read prompt table nil t) table))))

(defun marquill--region ()
  "The region when active, else the current line."
  (if (use-region-p)
      (list (region-beginning) (region-end))
    (list (line-beginning-position) (line-beginning-position))))

(defun marquill--read-lines (&optional prompt)
  "The --lines value chosen by its menu label, read with PROMPT (\"Lines: \")."
  (cdr (assoc (completing-read (or prompt "Lines: ") marquill--line-choices nil t) marquill--line-choices)))

(defun marquill--insert-arguments (prompt)
  "The region, the symbol read with PROMPT and, with a prefix argument, the lines."
  (append (marquill--region)
          (list (marquill--read-entry prompt)
                (and current-prefix-arg (marquill--read-lines)))))

(defun marquill--insert (start end at symbol lines)
  "Insert SYMBOL AT \"head\" or \"char\" in the LINES (nil: all) of START..END."
  (marquill-filter-region start end (list "insert" "--at" at "--lines" (or lines "all") "-e" symbol)))

;;;; Commands

;;;###autoload
(defun marquill-insert (start end symbol &optional lines)
  "Insert SYMBOL, chosen by its caption, at the head of the lines.
With a prefix argument, ask which LINES get it (default: all)."
  (interactive (marquill--insert-arguments "Insert: "))
  (marquill--insert start end "head" symbol lines))

;;;###autoload
(defun marquill-insert-at-char (start end symbol &optional lines)
  "Insert SYMBOL at the column of the lines' least indentation.
With a prefix argument, ask which LINES get it (default: all)."
  (interactive (marquill--insert-arguments "Insert at the first character: "))
  (marquill--insert start end "char" symbol lines))

;;;###autoload
(defun marquill-delete (start end symbol)
  "Delete SYMBOL, chosen by its caption, after the indentation of the lines."
  (interactive (append (marquill--region) (list (marquill--read-entry "Delete: "))))
  (marquill-filter-region start end (list "delete" "-e" symbol)))

;;;###autoload
(defun marquill-delete-once (start end)
  "Delete each symbol of the settings once from the lines, in list order."
  (interactive (marquill--region))
  (marquill-filter-region start end (list "delete-once")))

;;;###autoload
(defun marquill-delete-all (start end)
  "Delete the settings' symbols from the lines until none is left."
  (interactive (marquill--region))
  (marquill-filter-region start end (list "delete-all")))

;;;###autoload
(defun marquill-toggle (start end)
  "Toggle the symbol of `marquill-toggle-entry' (default: the first entry).
Where every non-blank line has it after its indentation it is deleted once,
else it is inserted at the column of least indentation."
  (interactive (marquill--region))
  (marquill-filter-region start end
                          (list "toggle" "--entry" (format "%s" (or marquill-toggle-entry 1)))))

(defun marquill--settings-coding (file)
  "How FILE is read: a byte order mark decides, else UTF-8 when valid,
else code page 932; line ends as found."
  (if (not (file-exists-p file))
      'utf-8
    (let ((bytes (with-temp-buffer
                   (set-buffer-multibyte nil)
                   (insert-file-contents-literally file)
                   (buffer-string))))
      (cond ((string-prefix-p "\xef\xbb\xbf" bytes) 'utf-8-with-signature)
            ((or (string-prefix-p "\xff\xfe" bytes) (string-prefix-p "\xfe\xff" bytes)) 'utf-16)
            ((seq-some (lambda (c) (> c #x3fff7f)) (decode-coding-string bytes 'utf-8)) 'cp932)
            (t 'utf-8)))))

;;;###autoload
(defun marquill-edit-settings ()
  "Open the settings file in another window."
  (interactive)
  (let* ((file (marquill-settings-file))
         (coding-system-for-read (marquill--settings-coding file)))
    (make-directory (file-name-directory file) t)
    (find-file-other-window file)))

;;;###autoload
(defun marquill (start end)
  "The menu of the Marquill command, on the region's lines or the current line.
Its items are those of the Windows command: 行頭に挿入, 文字先頭位置に挿入,
先頭文字を削除, 設定編集 and キャンセル."
  (interactive (marquill--region))
  (let ((group (completing-read "Marquill: "
                                '("行頭に挿入" "文字先頭位置に挿入" "先頭文字を削除" "設定編集" "キャンセル")
                                nil t)))
    (pcase group
      ((or "行頭に挿入" "文字先頭位置に挿入")
       (let* ((lines (marquill--read-lines "対象の行: "))
              (symbol (marquill--read-entry (concat group ": "))))
         (marquill--insert start end (if (equal group "行頭に挿入") "head" "char") symbol lines)))
      ("先頭文字を削除"
       (pcase (completing-read "先頭文字を削除: " '("1つ削除" "全て削除" "指定して削除") nil t)
         ("1つ削除" (marquill-delete-once start end))
         ("全て削除" (marquill-delete-all start end))
         ("指定して削除" (marquill-delete start end (marquill--read-entry "指定して削除: ")))))
      ("設定編集" (marquill-edit-settings)))))

(provide 'marquill)
;;; marquill.el ends here
