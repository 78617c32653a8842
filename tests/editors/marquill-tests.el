(ert-deftest marquill-placeholder () (should t))
