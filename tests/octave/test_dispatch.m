function test_dispatch()
% The command table: exact words, fixed answers, missing inputs.
  fixed_answers();
  exact_matching();
  missing_inputs();
end

function fixed_answers()
  expect_equal(spardyn(), 1.0001, 'version query');
  spardyn();  % no output asked: the answer still goes to output 1
  expect_equal(ans, 1.0001, 'version query fills output 1 without nargout');
  expect_equal(spardyn('ismex'), 1, 'ismex');
  expect_equal(spardyn('omp'), -1, 'omp');
  if strcmp(flavor(), 'win32'), return; end  % test_win32_commands.m
  expect_equal(spardyn('cvs'), '$Revision: 1.38 $  $Date: 2018/05/15 16:21:58 $', 'cvs');
  x = [1 2 3] + 0;
  spardyn('nlv1', x);
  spardyn('nlv1');
  expect_equal(x, [1 2 3], 'nlv1 changes nothing');
end

function exact_matching()
  unknown = {'ISMEX', 'ismex ', ' ismex', 'chandle', 'ism', 'tbbpx', '', 'residual2'};
  for k = 1:numel(unknown)
    expect_error(@() spardyn(unknown{k}), '', 'spardyn : Unknown command', ...
                 sprintf('"%s" is unknown', unknown{k}));
  end
  expect_error(@() spardyn(3), '', 'spardyn : Unknown command', 'numeric command');
  expect_error(@() spardyn({'ismex'}), '', 'spardyn : Unknown command', 'cell command');
  expect_error(@() spardyn(struct('a', 1)), '', 'spardyn : Unknown command', 'struct command');
  expect_error(@() spardyn(@sin), '', 'spardyn : Unknown command', 'function handle command');
  expect_error(@() spardyn(['ism'; 'exx']), '', 'spardyn : Unknown command', 'char matrix command');
  expect_equal(spardyn("ismex"), 1, 'double-quoted string');
end

function missing_inputs()
  % Every command that reads input k refuses a call without it, before
  % touching anything.
  need = {'residual', 6; 'chandleset', 3; 'chandlediagnewmark', 6; ...
          'setsparse', 2; 'c<-a''*b', 3; 'dtkt', 3; 'abc', 5; ...
          'ta''*k*tb', 4; 'directzr', 5; 'tbbp', 4};
  if ~has_handles()
    need = need(~ismember(need(:, 1), {'chandleset', 'chandlediagnewmark'}), :);
  end
  for k = 1:rows(need)
    word = need{k, 1};
    args = {1, 2, 3, 4, 5, 6, 7, 8};
    for given = 1:need{k, 2} - 1
      expect_error(@() spardyn(word, args{1:given - 1}), 'VRK:spardyn:WrongSize', [], ...
                   sprintf('%s with %d inputs', word, given));
    end
  end
  expect_error(@() spardyn('igsm', 1), '', 'Three inputs required.', 'igsm counts its own inputs');
end
